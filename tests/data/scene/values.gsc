; A scene script exercising every value syntax the loader knows.
Stray=lines before the first section are ignored

[MainScene]
Count=4
Capacity=8

[MainScene1]
Type=TResource
Name=Textures
Path=.\Scene\
Visible=1
Count=2
; Count=9 (a comment, not a key)

[textures1]
Type=TTestObject
Name=water.jpg

[Textures2]
Type=TTestObject
Name=sand.jpg
Visible=0

[MainScene2]
type=ttestobject
NAME=Probe
ProcessOptions=[Render,Animation]
Alpha=1
Flag=1
Flag=0
Number=0x1F
Hex=$FF
Real=6000.0
Text=a value; with a semicolon
Empty=
Color=0.4, 0.5 ,0.6
ByteColor=0,106,156
Position=10
Link=Textures/water.jpg
FileName=bubble.3dm
Missing Link=Textures/none.jpg
a line without an equals sign
	Padded	=	 tabs and blanks 	

[MainScene3]
Type=TTestObject
Name=Defaults
ProcessOptions=[Events]
Flag=1;
Number=12 
Real=1,5
FileName=.\Other\file.3dm
Link=

[MainScene4]
Type=TResource
Name=Sub
SourceName=sub.gsc
