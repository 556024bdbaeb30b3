// Scene textures: script objects that turn BMP and JPEG pictures (from the
// resource archive or from disk) into GL textures, resampled to power-of-two
// sizes, reduced by the user's texture quality and combined with an alpha
// picture or a key colour; and the list that holds them with the quality,
// colour-depth and mipmap settings they share.
#pragma once

#include "core/picture.h"
#include "core/vecmath.h"
#include "render/gl_api.h"
#include "render/texels.h"
#include "scene/objects.h"

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

class TGLTexture;
class TGLTextureList;
class TSceneTextureList;

// Script and settings texts of the enumerations. Reading tests for member
// words ("Sprite" anywhere in the value), as the script does for sets.
std::string TextureFormatToStr(TTextureFormat format);
TTextureFormat StrToTextureFormat(std::string_view text);
std::string TextureQualityToStr(TTextureQuality quality);
TTextureQuality StrToTextureQuality(std::string_view text);
std::string TextureColorBitToStr(TTextureColorBit colorBit);
TTextureColorBit StrToTextureColorBit(std::string_view text);

// The bytes of a content file: from disk (the name's "\" made "/") when
// `fromDisk`, else through the process-wide resource reader. A file that
// cannot be found, or is larger than maxSize, gives false. A disk file that
// is missing is looked up in the archive when `archiveFallback` is set.
bool ReadContentFile(const std::string& fileName, bool fromDisk, bool archiveFallback, size_t maxSize,
                     std::vector<uint8_t>& bytes);

class TSceneTexture : public TMainObject {
public:
    TSceneTexture();
    ~TSceneTexture() override;
    std::string_view ClassName() const override { return "TSceneTexture"; }

    void WriteProperties(TResourceLoader& loader) override;
    void ReadProperties(TResourceLoader& loader) override;

    const std::string& TextureName() const { return FTextureName; }
    const std::string& AlphaName() const { return FAlphaName; }
    // Store the name; the GL texture keeps what it has until it is reloaded.
    void SetTextureName(const std::string& name);
    void SetAlphaName(const std::string& name);

    TTextureFormat Format() const { return FFormat; }
    // A new format frees the GL texture (its texel layout depends on it).
    void SetFormat(TTextureFormat format);

    // The picture pair of a file-list line: the line index halved in pair
    // mode. -1 while nothing was chosen.
    int32_t FileIndex() const;
    // Chooses line i (pair i in pair mode) of the file list, wrapping
    // around, and frees the GL texture so that the next use loads it.
    void SetFileIndex(int32_t index);
    // Reads the lines of a file list (disk or archive by the scene's
    // sources); a missing list leaves FileList empty.
    void ReadFileList(const std::string& fileName);

    bool LoadFromFile() const { return FLoadFromFile; }
    // Stores the flag and frees the GL texture.
    void SetLoadFromFile(bool flag);

    // Colour and alpha pictures come in pairs (in names and file lists).
    bool PairMode() const { return Alpha || !FAlphaName.empty(); }

    TGLTexture* GLTexture() const { return FGLTexture; }

    // Frees the GL texture and makes an empty one (0 x 0) of the format, in
    // blue-green-red order, with the filter and internal format the list's
    // settings and the renderer ask for.
    void CreateGLTexture(TTextureFormat format);
    // Reads the picture(s) and fills the GL texture (made first when there is
    // none) at the size the quality gives.
    void LoadTexture();
    // The picture of a BMP or JPEG file, stretched to power-of-two sides;
    // empty for a missing file or another extension. Undecodable data raises.
    TPicture LoadBitmap(const std::string& fileName);
    // Converts the picture (and, for format Alpha, the alpha picture of the
    // same size) into the GL texture's texels.
    void AlphaFromBitmap(const TPicture& colour, const TPicture& alpha);
    // Creates and loads the GL texture when there is none.
    void EnsureTexture();
    // Loads on first use (again when its texels were given back and GL lost
    // them), then uploads if needed, binds and enables.
    void UseTexture();
    void FreeGLTexture();

    // The list holding this texture, or null.
    TSceneTextureList* TextureList() const;

    // Key colour of the Sprite format: red in the low byte, no alpha.
    TByteColor SpriteColor = 0;
    // Take the key colour from the picture's top-left pixel.
    bool AutoSpriteColor = false;
    int32_t ScaleDivisor = 1;
    std::vector<std::string> FileList;
    std::string FileListName;
    // Folder prefix of every file name that has none of its own.
    std::string Path = ".\\";
    // Replaced often: never compressed.
    bool Animated = false;
    // Size of the last picture read, before resampling.
    int32_t SourceWidth = 0, SourceHeight = 0;
    // Where the alpha of the last loaded texels lies (empty for format
    // Texture), and how many loads there have been: drawing that crops to
    // it knows from the count when to crop again.
    TAlphaCells AlphaCells;
    uint32_t Loads = 0;

    // Largest picture file read.
    static constexpr size_t MaxPictureFileSize = 256u << 20;
    // Grid of AlphaCells: a cell per texel up to 256 x 128 cells.
    static constexpr int AlphaCellColumns = 256, AlphaCellRows = 128;

private:
    // The GL texture list new textures go to: the context's, or one of our
    // own while the scene has no GL context object.
    TGLTextureList& GLTextureList();
    bool ReadFromDisk() const;

    std::string FTextureName;
    std::string FAlphaName;
    TTextureFormat FFormat = tfTexture;
    int32_t FFileIndex = -1;
    bool FLoadFromFile = false;
    // In the context's texture list, which owns it; freed through delete,
    // which takes it out of that list. The scene goes before the context.
    TGLTexture* FGLTexture = nullptr;
    std::unique_ptr<TGLTextureList> FOwnTextures;
};

class TSceneTextureList : public TResource {
public:
    TSceneTextureList();
    std::string_view ClassName() const override { return "TSceneTextureList"; }

    void WriteProperties(TResourceLoader& loader) override;
    void ReadProperties(TResourceLoader& loader) override;
    void LoadSettings() override;
    void SaveSettings() override;
    // A resource-script line per picture file: identifier, type, file.
    void ListResources(std::vector<std::string>& lines) override;

    TTextureQuality Quality() const { return FQuality; }
    TTextureColorBit ColorBit() const { return FColorBit; }
    bool MipMap() const { return FMipMap; }
    // A changed value is stored and re-applied to every texture.
    void SetQuality(TTextureQuality quality);
    void SetColorBit(TTextureColorBit colorBit);
    void SetMipMap(bool mipMap);

    // Drops each GL name and sets the filter and internal format anew; the
    // pixels stay (or, given back, are read again), so the next use
    // re-uploads them.
    void ReconfigureAll();
    // Frees every GL texture, so that each is made and loaded again (at the
    // current quality) on next use.
    void FreeGLTextures();

    // Made for the mesh loader: a texture named by the file-name part of
    // `name`, or the one the list already holds under that name. Its pictures
    // are read when it is first used: the fish of waters not shown cost
    // neither time nor memory.
    TSceneTexture* AddTexture(const std::string& name, const std::string& file);
    TSceneTexture* AddAlphaTexture(const std::string& name, const std::string& alphaFile, const std::string& file);
    TSceneTexture* AddSprite(const std::string& name, const std::string& file);

    // The texture at index (name order), or null for another kind of child.
    TSceneTexture* Texture(int index) const;

    // Each texture keeps its texels after the upload, so that a new setting
    // or a new context re-uploads without reading the pictures again. Off,
    // a still picture gives its copy back once GL has it, and is read again
    // when GL needs it anew: for pictures that can always be read again.
    bool KeepPixels = true;

private:
    TSceneTexture* AddFormat(const std::string& name, TTextureFormat format, const std::string& alphaFile,
                             const std::string& file);

    bool FMipMap = false;
    TTextureColorBit FColorBit = cbCompressed;
    TTextureQuality FQuality = tqHigh;
};
