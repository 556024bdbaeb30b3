; comment
[MainScene]
Count=2
[MainScene1]
Type=TResource
Name=Loop
Count=1
[Loop1]
Type=TResource
Name=Loop
Count=1
[MainScene2]
Type=TSceneLayer
Name=Nope
