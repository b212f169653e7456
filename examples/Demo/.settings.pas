unit settings;
{ A hidden unit: its name starts with a dot, and the archive takes it all the same. }
interface
implementation
end.
