[Sub]
Visible=1
Count=1

[Sub1]
Type=TTestObject
Name=Deep
ProcessOptions=[Render]
Number=-7
Link=Textures/sand.jpg
