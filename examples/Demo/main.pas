unit main;

interface

function Greeting(const Name: string): string;

implementation

function Greeting(const Name: string): string;
begin
  Result := 'Hello, ' + Name + '!';
end;

end.
