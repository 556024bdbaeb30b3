[MainScene]
Count=1
[MainScene1]
Type=TResource
Name=MainScene
SourceName=fuzz.gsc
