unit Helpers;
{ In a subfolder: packing takes only the project folder's own files, so this stays out. }
interface
implementation
end.
