object Form1: TForm1
  Left = 200
  Top = 120
  Caption = 'Demo'
  ClientHeight = 120
  ClientWidth = 240
  object Button1: TButton
    Left = 80
    Top = 48
    Width = 75
    Height = 25
    Caption = 'Greet'
    OnClick = Button1Click
  end
end
