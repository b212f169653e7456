unit Unit1;

interface

uses
  Forms, StdCtrls, Classes;

type
  TForm1 = class(TForm)
    Button1: TButton;
    procedure Button1Click(Sender: TObject);
  end;

var
  Form1: TForm1;

implementation

uses main;

{$R *.dfm}

procedure TForm1.Button1Click(Sender: TObject);
begin
  Caption := Greeting('Zandrel');
end;

end.
