; 3D Marivelle: the aquarium. Objects are drawn in the order they are
; listed here: lights, waters, fish, bubbles, then the clock.
[MainScene]
Count=21

; Pictures the waters and fish renderers name; the fish meshes add
; their own when they load.
[MainScene1]
Type=TSceneTextureList
Name=Textures
Path=.\Scene\
Quality=High
ColorBit=32bit
MipMap=1
Capacity=64
Count=6

[Textures1]
Type=TSceneTexture
Name=FonA.jpg
Alpha=1
TextureName=Fon3.jpg
AlphaName=Fon3A.jpg
FileListName=fons.txt
FileIndex=0

[Textures2]
Type=TSceneTexture
Name=seabed.jpg
TextureName=seabed1.jpg
FileListName=seabeds.txt
FileIndex=0

[Textures3]
Type=TSceneTexture
Name=water.jpg
TextureName=water1.jpg
FileListName=waters.txt
FileIndex=0

[Textures4]
Type=TSceneTexture
Name=caustlight.jpg
TextureName=caustlight.jpg
AlphaName=caustlightA.jpg

[Textures5]
Type=TSceneTexture
Name=caustfish.jpg
TextureName=caustfish.jpg

[Textures6]
Type=TSceneTexture
Name=caustback.jpg
TextureName=caustback.jpg

; Materials named here win over those of the mesh files. Bubbles are
; see-through.
[MainScene2]
Type=TSceneMaterialList
Name=Materials
Capacity=32
Count=1

[Materials1]
Type=TSceneMaterial
Name=Puzir01
Count=1
Ambient1=0.7,0.78,0.82,0.7
Diffuse1=0.9,0.94,1,0.7
Specular1=0.9,0.9,0.9,0.7
Emission1=0.08,0.1,0.12,0.7
Shininess1=22.4
Front1=1
Back1=1

; Fish, plankton, starfish, bubble and the six backgrounds.
[MainScene3]
Type=TSceneMeshList
Name=Meshes
Path=.\Scene\
Materials=Materials
Textures=Textures
Capacity=32
Count=30

[Meshes1]
Type=TSceneMesh
Name=YellowTang.3dm
SourceName=YellowTang.3dm

[Meshes2]
Type=TSceneMesh
Name=BlueTang.3dm
SourceName=BlueTang.3dm

[Meshes3]
Type=TSceneMesh
Name=Clown.3dm
SourceName=Clown.3dm

[Meshes4]
Type=TSceneMesh
Name=AurigaButterflyfish.3dm
SourceName=AurigaButterflyfish.3dm

[Meshes5]
Type=TSceneMesh
Name=Angelfish.3dm
SourceName=Angelfish.3dm

[Meshes6]
Type=TSceneMesh
Name=MoorishIdol.3dm
SourceName=MoorishIdol.3dm

[Meshes7]
Type=TSceneMesh
Name=CopperbandButterflyfish.3dm
SourceName=CopperbandButterflyfish.3dm

[Meshes8]
Type=TSceneMesh
Name=RoyalGramma.3dm
SourceName=RoyalGramma.3dm

[Meshes9]
Type=TSceneMesh
Name=Mandarin.3dm
SourceName=Mandarin.3dm

[Meshes10]
Type=TSceneMesh
Name=Lionfish.3dm
SourceName=Lionfish.3dm

[Meshes11]
Type=TSceneMesh
Name=PicassoTriggerfish.3dm
SourceName=PicassoTriggerfish.3dm

[Meshes12]
Type=TSceneMesh
Name=RedOscar.3dm
SourceName=RedOscar.3dm

[Meshes13]
Type=TSceneMesh
Name=Discus.3dm
SourceName=Discus.3dm

[Meshes14]
Type=TSceneMesh
Name=Scalare.3dm
SourceName=Scalare.3dm

[Meshes15]
Type=TSceneMesh
Name=NeonTetra.3dm
SourceName=NeonTetra.3dm

[Meshes16]
Type=TSceneMesh
Name=Goldfish.3dm
SourceName=Goldfish.3dm

[Meshes17]
Type=TSceneMesh
Name=Guppy.3dm
SourceName=Guppy.3dm

[Meshes18]
Type=TSceneMesh
Name=Swordtail.3dm
SourceName=Swordtail.3dm

[Meshes19]
Type=TSceneMesh
Name=PearlGourami.3dm
SourceName=PearlGourami.3dm

[Meshes20]
Type=TSceneMesh
Name=TigerBarb.3dm
SourceName=TigerBarb.3dm

[Meshes21]
Type=TSceneMesh
Name=ClownLoach.3dm
SourceName=ClownLoach.3dm

[Meshes22]
Type=TSceneMesh
Name=Plankton.3dm
SourceName=Plankton.3dm

[Meshes23]
Type=TSceneMesh
Name=Starfish.3dm
SourceName=Starfish.3dm

[Meshes24]
Type=TSceneMesh
Name=bubble.3dm
SourceName=bubble.3dm
Material=Materials/Puzir01

[Meshes25]
Type=TSceneMesh
Name=fon1.3dm
SourceName=fon1.3dm

[Meshes26]
Type=TSceneMesh
Name=fon2.3dm
SourceName=fon2.3dm

[Meshes27]
Type=TSceneMesh
Name=fon3.3dm
SourceName=fon3.3dm

[Meshes28]
Type=TSceneMesh
Name=fon4.3dm
SourceName=fon4.3dm

[Meshes29]
Type=TSceneMesh
Name=fon5.3dm
SourceName=fon5.3dm

[Meshes30]
Type=TSceneMesh
Name=fon6.3dm
SourceName=fon6.3dm

; One light for each water; a water switches its own on while it is
; shown. The light's colour tints everything drawn after it.
[MainScene4]
Type=TMainLight
Name=White Light
ProcessOptions=[Render]
LightStyle=Parallel
Ambient=0.38,0.39,0.4,1
Diffuse=0.95,0.98,1,1
Specular=1,1,1,1
Position=0,0,0
Direction=-1,-1,-1
TwoSide=0
LocalViewer=0
Infinite=1
Enabled=1

[MainScene5]
Type=TMainLight
Name=Blue Light
ProcessOptions=[Render]
LightStyle=Parallel
Ambient=0.29,0.34,0.4,1
Diffuse=0.72,0.84,1,1
Specular=1,1,1,1
Position=0,0,0
Direction=-1,-1,-1
TwoSide=0
LocalViewer=0
Infinite=1
Enabled=0

[MainScene6]
Type=TMainLight
Name=Green Light
ProcessOptions=[Render]
LightStyle=Parallel
Ambient=0.36,0.4,0.38,1
Diffuse=0.9,1,0.96,1
Specular=1,1,1,1
Position=0,0,0
Direction=-1,-1,-1
TwoSide=0
LocalViewer=0
Infinite=1
Enabled=0

[MainScene7]
Type=TMainLight
Name=Yellow Light
ProcessOptions=[Render]
LightStyle=Parallel
Ambient=0.38,0.38,0.31,1
Diffuse=0.95,0.95,0.78,1
Specular=1,1,1,1
Position=0,0,0
Direction=-1,-1,-1
TwoSide=0
LocalViewer=0
Infinite=1
Enabled=0

[MainScene8]
Type=TMainLight
Name=Amber Light
ProcessOptions=[Render]
LightStyle=Parallel
Ambient=0.4,0.33,0.22,1
Diffuse=1,0.82,0.55,1
Specular=1,1,1,1
Position=0,0,0
Direction=-1,-1,-1
TwoSide=0
LocalViewer=0
Infinite=1
Enabled=0

[MainScene9]
Type=TMainLight
Name=Warm Light
ProcessOptions=[Render]
LightStyle=Parallel
Ambient=0.4,0.4,0.38,1
Diffuse=1,1,0.95,1
Specular=1,1,1,1
Position=0,0,0
Direction=-1,-1,-1
TwoSide=0
LocalViewer=0
Infinite=1
Enabled=0

; The six waters; one is shown at a time. BackgroundIndex picks the
; sea bed, surface and background pictures from their file lists.
[MainScene10]
Type=TUnderWater
Name=Salt Water - 1
ProcessOptions=[Render,Animation]
Visible=1
FarPlane=10000
FogStart=6000.0
FogEnd=10000
FogColor=40,135,198,255
EmulateDepth=1
UpY=5000
BottomY=-3000
UpColor=70,175,235,255
BottomColor=10,95,160,255
UpAlpha=0.55
BottomAlpha=0.35
BottomTexture=Textures/seabed.jpg
UpTexture=Textures/water.jpg
BackgroundIndex=0
LightTexture=Textures/caustlight.jpg
UpLightMap=Textures/water.jpg
BackgroundLightMap=Textures/caustback.jpg
Light=White Light
Background=Meshes/fon3.3dm

[MainScene11]
Type=TUnderWater
Name=Salt Water - 2
ProcessOptions=[Render,Animation]
Visible=0
FarPlane=10000
FogStart=6000.0
FogEnd=10000
FogColor=17,62,128,255
EmulateDepth=1
UpY=5000
BottomY=-3000
UpColor=30,95,175,255
BottomColor=4,30,82,255
UpAlpha=0.55
BottomAlpha=0.35
BottomTexture=Textures/seabed.jpg
UpTexture=Textures/water.jpg
BackgroundIndex=1
LightTexture=Textures/caustlight.jpg
UpLightMap=Textures/water.jpg
BackgroundLightMap=Textures/caustback.jpg
Light=Blue Light
Background=Meshes/fon2.3dm

[MainScene12]
Type=TUnderWater
Name=Salt Water - 3
ProcessOptions=[Render,Animation]
Visible=0
FarPlane=10000
FogStart=6000.0
FogEnd=10000
FogColor=44,164,164,255
EmulateDepth=1
UpY=5000
BottomY=-3000
UpColor=75,205,200,255
BottomColor=12,122,128,255
UpAlpha=0.55
BottomAlpha=0.35
BottomTexture=Textures/seabed.jpg
UpTexture=Textures/water.jpg
BackgroundIndex=2
LightTexture=Textures/caustlight.jpg
UpLightMap=Textures/water.jpg
BackgroundLightMap=Textures/caustback.jpg
Light=Green Light
Background=Meshes/fon1.3dm

[MainScene13]
Type=TUnderWater
Name=Fresh Water - 1
ProcessOptions=[Render,Animation]
Visible=0
FarPlane=10000
FogStart=6000.0
FogEnd=10000
FogColor=84,106,58,255
EmulateDepth=1
UpY=5000
BottomY=-3000
UpColor=125,150,85,255
BottomColor=42,62,32,255
UpAlpha=0.55
BottomAlpha=0.35
BottomTexture=Textures/seabed.jpg
UpTexture=Textures/water.jpg
BackgroundIndex=3
LightTexture=Textures/caustlight.jpg
UpLightMap=Textures/water.jpg
BackgroundLightMap=Textures/caustback.jpg
Light=Yellow Light
Background=Meshes/fon6.3dm

[MainScene14]
Type=TUnderWater
Name=Fresh Water - 2
ProcessOptions=[Render,Animation]
Visible=0
FarPlane=10000
FogStart=6000.0
FogEnd=10000
FogColor=112,71,26,255
EmulateDepth=1
UpY=5000
BottomY=-3000
UpColor=175,115,45,255
BottomColor=50,27,8,255
UpAlpha=0.55
BottomAlpha=0.35
BottomTexture=Textures/seabed.jpg
UpTexture=Textures/water.jpg
BackgroundIndex=4
LightTexture=Textures/caustlight.jpg
UpLightMap=Textures/water.jpg
BackgroundLightMap=Textures/caustback.jpg
Light=Amber Light
Background=Meshes/fon4.3dm

[MainScene15]
Type=TUnderWater
Name=Fresh Water - 3
ProcessOptions=[Render,Animation]
Visible=0
FarPlane=10000
FogStart=6000.0
FogEnd=10000
FogColor=94,156,140,255
EmulateDepth=1
UpY=5000
BottomY=-3000
UpColor=150,215,200,255
BottomColor=38,98,80,255
UpAlpha=0.55
BottomAlpha=0.35
BottomTexture=Textures/seabed.jpg
UpTexture=Textures/water.jpg
BackgroundIndex=5
LightTexture=Textures/caustlight.jpg
UpLightMap=Textures/water.jpg
BackgroundLightMap=Textures/caustback.jpg
Light=Warm Light
Background=Meshes/fon5.3dm

; Salt-water fish. Counts come from the user's settings.
[MainScene16]
Type=TFishRender
Name=SaltWater
ProcessOptions=[Render,Animation]
Visible=1
Alpha=1
StepZ=10
SortAlpha=1
FishDirection=Right
LightMapTexture=Textures/caustfish.jpg
Capacity=16
Count=13

[SaltWater1]
Type=TFishes
Name=Yellow Tang
Visual=Meshes/YellowTang.3dm
FishType=Fish
MinZ=1400
MaxZ=8000
MinSpeed=280
MaxSpeed=450
BottomY=-2000
UpY=2500
MaxCount=100

[SaltWater2]
Type=TFishes
Name=Blue Tang
Visual=Meshes/BlueTang.3dm
FishType=Fish
MinZ=1400
MaxZ=8000
MinSpeed=300
MaxSpeed=480
BottomY=-1800
UpY=2800
MaxCount=100

[SaltWater3]
Type=TFishes
Name=Clown
Visual=Meshes/Clown.3dm
FishType=Fish
MinZ=1400
MaxZ=7000
MinSpeed=220
MaxSpeed=380
BottomY=-2400
UpY=1500
MaxCount=100

[SaltWater4]
Type=TFishes
Name=Auriga Butterflyfish
Visual=Meshes/AurigaButterflyfish.3dm
FishType=Fish
MinZ=1400
MaxZ=8000
MinSpeed=250
MaxSpeed=420
BottomY=-2000
UpY=2500
MaxCount=100

[SaltWater5]
Type=TFishes
Name=Angelfish
Visual=Meshes/Angelfish.3dm
FishType=Fish
MinZ=1600
MaxZ=8000
MinSpeed=200
MaxSpeed=350
BottomY=-2000
UpY=2500
MaxCount=100

[SaltWater6]
Type=TFishes
Name=Moorish Idol
Visual=Meshes/MoorishIdol.3dm
FishType=Fish
MinZ=1600
MaxZ=8000
MinSpeed=230
MaxSpeed=400
BottomY=-1800
UpY=2800
MaxCount=100

[SaltWater7]
Type=TFishes
Name=Copperband Butterflyfish
Visual=Meshes/CopperbandButterflyfish.3dm
FishType=Fish
MinZ=1400
MaxZ=8000
MinSpeed=250
MaxSpeed=420
BottomY=-2200
UpY=2200
MaxCount=100

[SaltWater8]
Type=TFishes
Name=Royal Gramma
Visual=Meshes/RoyalGramma.3dm
FishType=Fish
MinZ=1400
MaxZ=7000
MinSpeed=260
MaxSpeed=440
BottomY=-2400
UpY=1800
MaxCount=100

[SaltWater9]
Type=TFishes
Name=Mandarin
Visual=Meshes/Mandarin.3dm
FishType=Fish
MinZ=1400
MaxZ=7000
MinSpeed=180
MaxSpeed=320
BottomY=-2600
UpY=800
MaxCount=100

[SaltWater10]
Type=TFishes
Name=Lionfish
Visual=Meshes/Lionfish.3dm
FishType=Fish
MinZ=1800
MaxZ=8000
MinSpeed=150
MaxSpeed=280
BottomY=-2500
UpY=1500
MaxCount=100

[SaltWater11]
Type=TFishes
Name=Picasso Triggerfish
Visual=Meshes/PicassoTriggerfish.3dm
FishType=Fish
MinZ=1400
MaxZ=8000
MinSpeed=260
MaxSpeed=450
BottomY=-2000
UpY=2500
MaxCount=100

[SaltWater12]
Type=TFishes
Name=Plankton
Visual=Meshes/Plankton.3dm
FishType=Plankton
MinZ=1000
MaxZ=1500
MinSpeed=25
MaxSpeed=50
BottomY=-1000
UpY=500
MaxCount=100

[SaltWater13]
Type=TFishes
Name=Starfish
Visual=Meshes/Starfish.3dm
FishType=StarFish
MinZ=4400
MaxZ=4400
MinSpeed=15
MaxSpeed=15
BottomY=-3000
UpY=-3000
MaxCount=1

; Fresh-water fish, hidden until a fresh water is chosen.
[MainScene17]
Type=TFishRender
Name=FreshWater
ProcessOptions=[Render,Animation]
Visible=0
Alpha=1
StepZ=10
FishDirection=Right
LightMapTexture=Textures/caustfish.jpg
Capacity=16
Count=10

[FreshWater1]
Type=TFishes
Name=Red Oscar
Visual=Meshes/RedOscar.3dm
FishType=Fish
MinZ=1600
MaxZ=8000
MinSpeed=200
MaxSpeed=340
BottomY=-2000
UpY=2000
MaxCount=100

[FreshWater2]
Type=TFishes
Name=Discus
Visual=Meshes/Discus.3dm
FishType=Fish
MinZ=1500
MaxZ=8000
MinSpeed=180
MaxSpeed=320
BottomY=-1800
UpY=2500
MaxCount=100

[FreshWater3]
Type=TFishes
Name=Scalare
Visual=Meshes/Scalare.3dm
FishType=Fish
MinZ=1500
MaxZ=8000
MinSpeed=180
MaxSpeed=330
BottomY=-1600
UpY=2800
MaxCount=100

[FreshWater4]
Type=TFishes
Name=Neon Tetra
Visual=Meshes/NeonTetra.3dm
FishType=Fish
MinZ=1400
MaxZ=7000
MinSpeed=300
MaxSpeed=480
BottomY=-2000
UpY=2000
MaxCount=100

[FreshWater5]
Type=TFishes
Name=Goldfish
Visual=Meshes/Goldfish.3dm
FishType=Fish
MinZ=1400
MaxZ=8000
MinSpeed=220
MaxSpeed=380
BottomY=-2000
UpY=2500
MaxCount=100

[FreshWater6]
Type=TFishes
Name=Guppy
Visual=Meshes/Guppy.3dm
FishType=Fish
MinZ=1400
MaxZ=7000
MinSpeed=280
MaxSpeed=460
BottomY=-1200
UpY=3000
MaxCount=100

[FreshWater7]
Type=TFishes
Name=Swordtail
Visual=Meshes/Swordtail.3dm
FishType=Fish
MinZ=1400
MaxZ=8000
MinSpeed=300
MaxSpeed=480
BottomY=-1500
UpY=2800
MaxCount=100

[FreshWater8]
Type=TFishes
Name=Pearl Gourami
Visual=Meshes/PearlGourami.3dm
FishType=Fish
MinZ=1500
MaxZ=8000
MinSpeed=200
MaxSpeed=350
BottomY=-1200
UpY=3000
MaxCount=100

[FreshWater9]
Type=TFishes
Name=Tiger Barb
Visual=Meshes/TigerBarb.3dm
FishType=Fish
MinZ=1400
MaxZ=7500
MinSpeed=320
MaxSpeed=500
BottomY=-2000
UpY=2200
MaxCount=100

[FreshWater10]
Type=TFishes
Name=Clown Loach
Visual=Meshes/ClownLoach.3dm
FishType=Fish
MinZ=1400
MaxZ=8000
MinSpeed=220
MaxSpeed=380
BottomY=-2600
UpY=900
MaxCount=100

; Bubbles rising from the sea bed; their number is a user setting.
[MainScene18]
Type=TBubbles
Name=Bubbles
ProcessOptions=[Render,Animation]
Visual=Meshes/bubble.3dm
ParticleCount=0
MinZ=3500
MaxZ=7000
MinSpeed=150
MaxSpeed=450
BottomY=-3000
UpY=5000
MaxCount=1000

; The clock: its picture, the sprites cut from it and where they sit.
; Positions are pixels of a 1024 x 768 screen, from the bottom left.
[MainScene19]
Type=TResource
Name=ClockResource
Path=.\Scene\
Count=4

[ClockResource1]
Type=TSceneTextureList
Name=ClockTextures
Path=.\Scene\
Quality=High
ColorBit=32bit
MipMap=0
Capacity=8
Count=1

[ClockTextures1]
Type=TSceneTexture
Name=clock.jpg
TextureName=clock.bmp
AlphaName=ClockA.bmp

[ClockResource2]
Type=TSceneMaterialList
Name=ClockMaterials
Count=1

[ClockMaterials1]
Type=TSceneMaterial
Name=ClockMaterial
Count=1
Ambient1=1,1,1,1
Diffuse1=1,1,1,1
Specular1=0,0,0,1
Emission1=0,0,0,1
Front1=1

[ClockResource3]
Type=TSceneMeshList
Name=ClockSprites
Path=.\Scene\
Materials=ClockResource/ClockMaterials
Textures=ClockResource/ClockTextures
Capacity=24
Count=22

[ClockSprites1]
Type=TSceneSprite
Name=0
Material=ClockResource/ClockMaterials/ClockMaterial
Texture=ClockResource/ClockTextures/clock.jpg
Width=36
Height=58
StartU=0
StartV=140

[ClockSprites2]
Type=TSceneSprite
Name=1
Material=ClockResource/ClockMaterials/ClockMaterial
Texture=ClockResource/ClockTextures/clock.jpg
Width=36
Height=58
StartU=36
StartV=140

[ClockSprites3]
Type=TSceneSprite
Name=2
Material=ClockResource/ClockMaterials/ClockMaterial
Texture=ClockResource/ClockTextures/clock.jpg
Width=36
Height=58
StartU=72
StartV=140

[ClockSprites4]
Type=TSceneSprite
Name=3
Material=ClockResource/ClockMaterials/ClockMaterial
Texture=ClockResource/ClockTextures/clock.jpg
Width=36
Height=58
StartU=108
StartV=140

[ClockSprites5]
Type=TSceneSprite
Name=4
Material=ClockResource/ClockMaterials/ClockMaterial
Texture=ClockResource/ClockTextures/clock.jpg
Width=36
Height=58
StartU=144
StartV=140

[ClockSprites6]
Type=TSceneSprite
Name=5
Material=ClockResource/ClockMaterials/ClockMaterial
Texture=ClockResource/ClockTextures/clock.jpg
Width=36
Height=58
StartU=180
StartV=140

[ClockSprites7]
Type=TSceneSprite
Name=6
Material=ClockResource/ClockMaterials/ClockMaterial
Texture=ClockResource/ClockTextures/clock.jpg
Width=36
Height=58
StartU=216
StartV=140

[ClockSprites8]
Type=TSceneSprite
Name=7
Material=ClockResource/ClockMaterials/ClockMaterial
Texture=ClockResource/ClockTextures/clock.jpg
Width=36
Height=58
StartU=0
StartV=198

[ClockSprites9]
Type=TSceneSprite
Name=8
Material=ClockResource/ClockMaterials/ClockMaterial
Texture=ClockResource/ClockTextures/clock.jpg
Width=36
Height=58
StartU=36
StartV=198

[ClockSprites10]
Type=TSceneSprite
Name=9
Material=ClockResource/ClockMaterials/ClockMaterial
Texture=ClockResource/ClockTextures/clock.jpg
Width=36
Height=58
StartU=72
StartV=198

[ClockSprites11]
Type=TSceneSprite
Name=:
Material=ClockResource/ClockMaterials/ClockMaterial
Texture=ClockResource/ClockTextures/clock.jpg
Width=18
Height=58
StartU=108
StartV=198

[ClockSprites12]
Type=TSceneSprite
Name=\
Material=ClockResource/ClockMaterials/ClockMaterial
Texture=ClockResource/ClockTextures/clock.jpg
Width=30
Height=58
StartU=126
StartV=198

[ClockSprites13]
Type=TSceneSprite
Name=sun
Material=ClockResource/ClockMaterials/ClockMaterial
Texture=ClockResource/ClockTextures/clock.jpg
Width=76
Height=20
StartU=180
StartV=0

[ClockSprites14]
Type=TSceneSprite
Name=mon
Material=ClockResource/ClockMaterials/ClockMaterial
Texture=ClockResource/ClockTextures/clock.jpg
Width=76
Height=20
StartU=180
StartV=20

[ClockSprites15]
Type=TSceneSprite
Name=tue
Material=ClockResource/ClockMaterials/ClockMaterial
Texture=ClockResource/ClockTextures/clock.jpg
Width=76
Height=20
StartU=180
StartV=40

[ClockSprites16]
Type=TSceneSprite
Name=wed
Material=ClockResource/ClockMaterials/ClockMaterial
Texture=ClockResource/ClockTextures/clock.jpg
Width=76
Height=20
StartU=180
StartV=60

[ClockSprites17]
Type=TSceneSprite
Name=thu
Material=ClockResource/ClockMaterials/ClockMaterial
Texture=ClockResource/ClockTextures/clock.jpg
Width=76
Height=20
StartU=180
StartV=80

[ClockSprites18]
Type=TSceneSprite
Name=fri
Material=ClockResource/ClockMaterials/ClockMaterial
Texture=ClockResource/ClockTextures/clock.jpg
Width=76
Height=20
StartU=180
StartV=100

[ClockSprites19]
Type=TSceneSprite
Name=sat
Material=ClockResource/ClockMaterials/ClockMaterial
Texture=ClockResource/ClockTextures/clock.jpg
Width=76
Height=20
StartU=180
StartV=120

[ClockSprites20]
Type=TSceneSprite
Name=am
Material=ClockResource/ClockMaterials/ClockMaterial
Texture=ClockResource/ClockTextures/clock.jpg
Width=50
Height=29
StartU=156
StartV=198

[ClockSprites21]
Type=TSceneSprite
Name=pm
Material=ClockResource/ClockMaterials/ClockMaterial
Texture=ClockResource/ClockTextures/clock.jpg
Width=50
Height=29
StartU=156
StartV=227

[ClockSprites22]
Type=TSceneSprite
Name=Plate
Material=ClockResource/ClockMaterials/ClockMaterial
Texture=ClockResource/ClockTextures/clock.jpg
Width=180
Height=131
StartU=0
StartV=0

[ClockResource4]
Type=TMainSpriteList
Name=ClockObjects
Alpha=1
Position=824,20,0
ViewWidth=1024
ViewHeight=768
Lighting=0
Capacity=16
Count=14

[ClockObjects1]
Type=TMainVisualObject
Name=ClockPlate
VisualOptions=[Position,Rotation,Scale]
Position=0,0,0
Scale=1,1,1
Angles=0,0,0
Visual=ClockResource/ClockSprites/Plate

[ClockObjects2]
Type=TMainVisualObject
Name=time1
VisualOptions=[Position,Rotation,Scale]
Position=12,63,0
Scale=1,1,1
Angles=0,0,0
Visual=ClockResource/ClockSprites/1

[ClockObjects3]
Type=TMainVisualObject
Name=time2
VisualOptions=[Position,Rotation,Scale]
Position=48,63,0
Scale=1,1,1
Angles=0,0,0
Visual=ClockResource/ClockSprites/2

[ClockObjects4]
Type=TMainVisualObject
Name=time3
VisualOptions=[Position,Rotation,Scale]
Position=84,63,0
Scale=1,1,1
Angles=0,0,0
Visual=ClockResource/ClockSprites/:

[ClockObjects5]
Type=TMainVisualObject
Name=time4
VisualOptions=[Position,Rotation,Scale]
Position=102,63,0
Scale=1,1,1
Angles=0,0,0
Visual=ClockResource/ClockSprites/0

[ClockObjects6]
Type=TMainVisualObject
Name=time5
VisualOptions=[Position,Rotation,Scale]
Position=138,63,0
Scale=1,1,1
Angles=0,0,0
Visual=ClockResource/ClockSprites/0

[ClockObjects7]
Type=TMainVisualObject
Name=time6
Visible=0
VisualOptions=[Position,Rotation,Scale]
Position=132,6,0
Scale=0.69,0.69,1
Angles=0,0,0
Visual=ClockResource/ClockSprites/am

[ClockObjects8]
Type=TMainVisualObject
Name=time7
Visible=0
VisualOptions=[Position,Rotation,Scale]
Position=132,6,0
Scale=0.69,0.69,1
Angles=0,0,0
Visual=ClockResource/ClockSprites/pm

[ClockObjects9]
Type=TMainVisualObject
Name=month1
VisualOptions=[Position,Rotation,Scale]
Position=46,28,0
Scale=0.5,0.5,1
Angles=0,0,0
Visual=ClockResource/ClockSprites/0

[ClockObjects10]
Type=TMainVisualObject
Name=month2
VisualOptions=[Position,Rotation,Scale]
Position=64,28,0
Scale=0.5,0.5,1
Angles=0,0,0
Visual=ClockResource/ClockSprites/1

[ClockObjects11]
Type=TMainVisualObject
Name=month3
VisualOptions=[Position,Rotation,Scale]
Position=82,28,0
Scale=0.5,0.5,1
Angles=0,0,0
Visual=ClockResource/ClockSprites/\

[ClockObjects12]
Type=TMainVisualObject
Name=month4
VisualOptions=[Position,Rotation,Scale]
Position=97,28,0
Scale=0.5,0.5,1
Angles=0,0,0
Visual=ClockResource/ClockSprites/0

[ClockObjects13]
Type=TMainVisualObject
Name=month5
VisualOptions=[Position,Rotation,Scale]
Position=115,28,0
Scale=0.5,0.5,1
Angles=0,0,0
Visual=ClockResource/ClockSprites/1

[ClockObjects14]
Type=TMainVisualObject
Name=day
VisualOptions=[Position,Rotation,Scale]
Position=52,6,0
Scale=1,1,1
Angles=0,0,0
Visual=ClockResource/ClockSprites/sun

; Hidden until the user picks a clock mode (1: 24-hour, 2: 12-hour).
[MainScene20]
Type=TGLClock
Name=GLClock
ProcessOptions=[Render,Animation]
Sprites=ClockResource/ClockSprites
Objects=ClockResource/ClockObjects
Color=65,170,255,255
Mode=0

; Looping ambient sounds: 22050 Hz, 16 bits, mono.
[MainScene21]
Type=TSceneSoundList
Name=Sounds
ProcessOptions=[Render]
Visible=1
Path=.\Scene\
InitDevice=1
Rate=1
Bits=1
Channels=1
SoundVolume=100
MusicVolume=100
Capacity=2
Count=2

[Sounds1]
Type=TSceneSound
Name=Bubbles Sound
FileName=bubbles7.wav
Looped=1
Music=0
Volume=70
Pan=0

[Sounds2]
Type=TSceneSound
Name=Waves Sound
FileName=waves04.wav
Looped=1
Music=0
Volume=100
Pan=0
