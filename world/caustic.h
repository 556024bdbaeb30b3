// Moving caustic light laid over whatever is drawn next: a light-map texture
// on texture unit 1, modulating unit 0, with its coordinates generated from
// eye-space positions. Given while the camera transform is current, the
// planes fix the pattern in the world; moving their last term with a clock
// slides it.
//
//   bool BeginCaustic(const TMainScene* scene, TSceneTexture* lightMap,
//                     const float planeS[4], const float planeT[4]);
//   void EndCaustic(const TMainScene* scene, TSceneTexture* lightMap);
//
// Both do nothing (Begin returns false) without a light map or when the GL
// texture list does not use multitexturing. The scene may be null.
#pragma once

class TMainScene;
class TSceneTexture;

// The texture unit the light map is given when its GL texture is made.
constexpr int CausticTextureUnit = 1;

// True when the GL texture list the light map lives in (the scene's GL
// context's, else the one its GL texture already belongs to) binds by unit.
bool CausticMultitextureInUse(const TMainScene* scene, const TSceneTexture* lightMap);

// Makes the light map's GL texture on first use (unit 1, GL_MODULATE), makes
// it the render-state cache's current texture (bound on its unit and
// enabled) and switches on eye-linear generation of S and T with the given
// planes. Returns whether it did anything.
bool BeginCaustic(const TMainScene* scene, TSceneTexture* lightMap, const float planeS[4], const float planeT[4]);

// Binds (uploading if needed) and unbinds the light map, which disables
// texturing on its unit, then makes unit 0 active again. Coordinate
// generation on unit 1 stays on: nothing else draws with that unit.
void EndCaustic(const TMainScene* scene, TSceneTexture* lightMap);
