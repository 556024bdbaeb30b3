[MainScene]
Count=0
