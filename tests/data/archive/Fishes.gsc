[MainScene]
Count=1

[Item0]
Type=TWater
Name=Water
