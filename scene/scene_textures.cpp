#include "scene/scene_textures.h"

#include "render/gl_textures.h"
#include "render/opengl.h"
#include "core/archive.h"
#include "core/errors.h"
#include "scene/file_list.h"
#include "scene/loader.h"
#include "scene/renderstate.h"
#include "scene/scene_host.h"
#include "core/stream.h"
#include "core/strutil.h"

#include <algorithm>
#include <cstdio>

namespace {

// Texture-list settings of a texture that sits in no texture list.
constexpr TTextureQuality kDefaultQuality = tqHigh;
constexpr TTextureColorBit kDefaultColorBit = cbCompressed;

std::string LowerExtension(std::string_view fileName) {
    std::string_view name = str::ExtractFileName(fileName);
    size_t dot = name.rfind('.');
    return dot == std::string_view::npos ? std::string() : str::LowerCase(name.substr(dot));
}

// A file-name key: trimmed, and joined with the path when it has no folder.
std::string ReadFileKey(const TResourceLoader& loader, std::string_view key, const std::string& path) {
    std::string value(str::Trim(loader.ReadString(key, "")));
    return value.empty() ? value : str::CombinePath(path, value);
}

TRendererKind SceneRendererKind(const TMainScene* scene) {
    TCustomOpenGL* context = SceneOpenGL(scene);
    return context ? context->RendererKind() : rkOpenGL;
}

// The context object's texture list, so that its DestroyRC deletes the
// names; without a context each texture keeps a list of its own.
TGLTextureList* ContextTextures(TCustomOpenGL* context) { return context ? &context->Textures() : nullptr; }

// Minification filter of a new GL texture.
GLenum CreationFilter(TRendererKind kind, bool mipmaps) {
    if (kind == rkSoftware) return mipmaps ? GL_LINEAR_MIPMAP_NEAREST : GL_NEAREST;
    return mipmaps ? GL_LINEAR_MIPMAP_LINEAR : GL_LINEAR;
}

// Minification filter set by ReconfigureAll.
GLenum ReconfigureFilter(TRendererKind kind, bool mipMap, TTextureFormat format) {
    if (kind == rkSoftware) return mipMap && format == tfTexture ? GL_NEAREST_MIPMAP_NEAREST : GL_NEAREST;
    return mipMap ? GL_LINEAR_MIPMAP_LINEAR : GL_LINEAR;
}

// The texel layout of a texture of this format and colour depth; `textures`
// gives the compressed formats (plain 24/32-bit ones without it).
TTexelLayout LayoutFor(const TGLTextureList* textures, TTextureFormat format, TTextureColorBit colorBit,
                       bool animated) {
    return TexelLayoutFor(format, colorBit, animated, textures ? textures->CompressedRGBFormat() : GL_RGB8,
                          textures ? textures->CompressedRGBAFormat() : GL_RGBA8);
}

}  // namespace

// --- texts --------------------------------------------------------------------

std::string TextureFormatToStr(TTextureFormat format) {
    switch (format) {
        case tfAlpha:
            return "Alpha";
        case tfSprite:
            return "Sprite";
        default:
            return "Texture";
    }
}

TTextureFormat StrToTextureFormat(std::string_view text) {
    if (text.find("Texture") != std::string_view::npos) return tfTexture;
    if (text.find("Alpha") != std::string_view::npos) return tfAlpha;
    if (text.find("Sprite") != std::string_view::npos) return tfSprite;
    return tfTexture;
}

std::string TextureQualityToStr(TTextureQuality quality) {
    switch (quality) {
        case tqMedium:
            return "Medium";
        case tqLow:
            return "Low";
        default:
            return "High";
    }
}

TTextureQuality StrToTextureQuality(std::string_view text) {
    if (text.find("High") != std::string_view::npos) return tqHigh;
    if (text.find("Medium") != std::string_view::npos) return tqMedium;
    return tqLow;
}

std::string TextureColorBitToStr(TTextureColorBit colorBit) {
    switch (colorBit) {
        case cb32bit:
            return "32bit";
        case cb16bit:
            return "16bit";
        default:
            return "Compressed";
    }
}

TTextureColorBit StrToTextureColorBit(std::string_view text) {
    if (text.find("32") != std::string_view::npos) return cb32bit;
    if (text.find("16") != std::string_view::npos) return cb16bit;
    return cbCompressed;
}

bool ReadContentFile(const std::string& fileName, bool fromDisk, bool archiveFallback, size_t maxSize,
                     std::vector<uint8_t>& bytes) {
    bytes.clear();
    if (str::Trim(fileName).empty()) return false;
    if (fromDisk) {
        std::FILE* file = std::fopen(str::ToHostPath(fileName).c_str(), "rb");
        if (file) {
            // Read in pieces up to the limit: a directory or a device tells no
            // useful size, and a file may grow while it is read.
            bool tooLarge = false;
            uint8_t chunk[65536];
            for (;;) {
                size_t n = std::fread(chunk, 1, sizeof chunk, file);
                if (n == 0) break;
                if (bytes.size() + n > maxSize) {
                    tooLarge = true;
                    break;
                }
                bytes.insert(bytes.end(), chunk, chunk + n);
            }
            const bool failed = std::ferror(file) != 0;
            std::fclose(file);
            if (tooLarge || failed) {
                bytes.clear();
                return false;
            }
            return true;
        }
        if (!archiveFallback) return false;
    }
    TResourceFileReader& reader = TheResourceReader();
    if (!reader.Open(fileName) || !reader.Stream()) return false;
    TStream& stream = *reader.Stream();
    const uint64_t size = stream.Size();
    if (size > maxSize) return false;
    bytes.resize(static_cast<size_t>(size));
    if (!bytes.empty()) stream.ReadBuffer(bytes.data(), bytes.size());
    return true;
}

// --- TSceneTexture --------------------------------------------------------------

TSceneTexture::TSceneTexture() = default;

TSceneTexture::~TSceneTexture() {
    FreeGLTexture();
    // The cache compares by address; a later object could take this one.
    if (TheRenderState().CurrentTexture == this) TheRenderState().CurrentTexture = nullptr;
}

TSceneTextureList* TSceneTexture::TextureList() const { return dynamic_cast<TSceneTextureList*>(Owner); }

TGLTextureList& TSceneTexture::GLTextureList() {
    if (TGLTextureList* textures = ContextTextures(SceneOpenGL(MainScene))) return *textures;
    if (!FOwnTextures) FOwnTextures = std::make_unique<TGLTextureList>();
    return *FOwnTextures;
}

bool TSceneTexture::ReadFromDisk() const {
    return FLoadFromFile || (MainScene && (MainScene->LoadSources & lsFiles));
}

void TSceneTexture::SetTextureName(const std::string& name) {
    if (name != FTextureName) FTextureName = name;
}

void TSceneTexture::SetAlphaName(const std::string& name) {
    if (name != FAlphaName) FAlphaName = name;
}

void TSceneTexture::SetFormat(TTextureFormat format) {
    if (format > tfSprite) format = tfTexture;
    if (format == FFormat) return;
    FreeGLTexture();
    FFormat = format;
}

int32_t TSceneTexture::FileIndex() const { return PairMode() ? FFileIndex / 2 : FFileIndex; }

void TSceneTexture::SetFileIndex(int32_t index) {
    const auto lines = static_cast<int64_t>(FileList.size());
    if (lines == 0) return;
    int64_t i = std::max<int64_t>(index, 0);
    const bool pairs = PairMode();
    if (pairs && lines >= 2) {
        // Only whole pairs are chosen: an odd last line has no alpha line.
        const int64_t used = lines / 2 * 2;
        i = i * 2 % used;
        FFileIndex = static_cast<int32_t>(i);
        SetTextureName(FileList[static_cast<size_t>(i)]);
        SetAlphaName(FileList[static_cast<size_t>(i) + 1]);
    } else {
        i = pairs ? 0 : i % lines;
        FFileIndex = static_cast<int32_t>(i);
        SetTextureName(FileList[static_cast<size_t>(i)]);
        // A single line in pair mode is its own alpha picture.
        if (pairs) SetAlphaName(FileList[static_cast<size_t>(i)]);
    }
    FreeGLTexture();
}

void TSceneTexture::ReadFileList(const std::string& fileName) {
    FileListName = fileName;
    FileList = ReadFileListLines(MainScene, fileName);
}

void TSceneTexture::SetLoadFromFile(bool flag) {
    FLoadFromFile = flag;
    FreeGLTexture();
}

void TSceneTexture::FreeGLTexture() {
    if (!FGLTexture) return;
    TGLTexture* texture = FGLTexture;
    FGLTexture = nullptr;
    delete texture;  // leaves its list on the way
    // The next bind of this texture must reach GL with the new name.
    if (TheRenderState().CurrentTexture == this) TheRenderState().CurrentTexture = nullptr;
}

void TSceneTexture::CreateGLTexture(TTextureFormat format) {
    FreeGLTexture();
    if (format > tfSprite) format = tfTexture;
    TGLTextureList& textures = GLTextureList();
    // Our texels are always blue, green, red (and alpha).
    textures.SetUseBGRA(true);
    const TSceneTextureList* list = TextureList();
    const bool mipMap = list && list->MipMap();
    textures.DefaultFilter = CreationFilter(SceneRendererKind(MainScene), mipMap && FFormat == tfTexture);
    FFormat = format;
    const TTextureColorBit colorBit = list ? list->ColorBit() : kDefaultColorBit;
    const TTexelLayout layout = LayoutFor(&textures, format, colorBit, Animated);
    FGLTexture = textures.CreateTexture(layout.InternalFormat, layout.PixelFormat, layout.PixelType, 0, 0);
    FGLTexture->AlphaValue = format == tfSprite ? 0.5f : format == tfAlpha ? 0.02f : 0.0f;
}

TPicture TSceneTexture::LoadBitmap(const std::string& fileName) {
    TPicture picture;
    SourceWidth = SourceHeight = 0;
    const std::string ext = LowerExtension(fileName);
    const bool bmp = ext == ".bmp";
    const bool jpeg = ext == ".jpg" || ext == ".jpeg";
    if (!bmp && !jpeg) return picture;

    std::vector<uint8_t> bytes;
    // A picture missing on disk is taken from the archive when the scene
    // reads that too.
    const bool archive = !MainScene || (MainScene->LoadSources & lsArchive);
    if (!ReadContentFile(fileName, ReadFromDisk(), archive, MaxPictureFileSize, bytes)) return picture;
    try {
        picture = bmp ? ReadBMP(bytes.data(), bytes.size()) : DecodeJPEG(bytes.data(), bytes.size());
    } catch (const Exception& e) {
        throw Exception("TSceneTexture.LoadBitmap error: " + std::string(e.what()) + " (" + fileName + ")");
    }
    SourceWidth = picture.Width;
    SourceHeight = picture.Height;
    if (picture.Empty()) return TPicture();
    return PowerOfTwoPicture(std::move(picture));
}

void TSceneTexture::LoadTexture() {
    if (!FGLTexture) CreateGLTexture(FFormat);
    // New pixels: an uploaded image would otherwise stay on the GL side.
    FGLTexture->DeleteName();
    TPicture picture = LoadBitmap(str::CombinePath(Path, FTextureName));
    const TSceneTextureList* list = TextureList();
    ScaleDivisor = TextureScaleDivisor(picture.Width, picture.Height, list ? list->Quality() : kDefaultQuality);
    FGLTexture->SetSize(picture.Width / ScaleDivisor, picture.Height / ScaleDivisor);
    FGLTexture->AllocPixels();
    if (FFormat == tfAlpha && !str::SameText(FAlphaName, FTextureName)) {
        TPicture alpha = LoadBitmap(str::CombinePath(Path, FAlphaName));
        AlphaFromBitmap(picture, alpha);
    } else {
        AlphaFromBitmap(picture, picture);
    }
    AlphaCells = FFormat == tfTexture ? TAlphaCells{}
                                      : MeasureAlphaCells({FGLTexture->FrameData(), FGLTexture->Width(),
                                                           FGLTexture->Height(), FGLTexture->BytesPerPixel()},
                                                          AlphaCellColumns, AlphaCellRows);
    ++Loads;
}

void TSceneTexture::AlphaFromBitmap(const TPicture& colour, const TPicture& alpha) {
    TTexelBlock block;
    if (FGLTexture) block = {FGLTexture->FrameData(), FGLTexture->Width(), FGLTexture->Height(),
                             FGLTexture->BytesPerPixel()};
    try {
        SpriteColor = PictureToTexels(colour, alpha, {FFormat, ScaleDivisor, SpriteColor, AutoSpriteColor}, block)
                          .SpriteColor;
    } catch (const Exception& e) {
        throw Exception("TSceneTexture.AlphaFromBitmap error: " + std::string(e.what()));
    }
}

void TSceneTexture::EnsureTexture() {
    if (FGLTexture) return;
    CreateGLTexture(FFormat);
    try {
        LoadTexture();
    } catch (...) {
        // A failed load leaves no half-made texture: the next use tries again.
        FreeGLTexture();
        throw;
    }
}

void TSceneTexture::UseTexture() {
    EnsureTexture();
    // Texels given back after an upload come again from the pictures when
    // GL has lost the texture (a new context).
    if (!FGLTexture->Uploaded() && !FGLTexture->Pixels()) LoadTexture();
    FGLTexture->Use();
    const TSceneTextureList* list = TextureList();
    if (list && !list->KeepPixels && !Animated && FGLTexture->Source == 0 && FGLTexture->Uploaded())
        FGLTexture->FreePixels();
}

void TSceneTexture::ReadProperties(TResourceLoader& loader) {
    TMainObject::ReadProperties(loader);
    std::string listPath = Path;
    if (const auto* owner = dynamic_cast<const TResource*>(Owner)) listPath = owner->Path;
    Path = std::string(str::Trim(loader.ReadString("Path", listPath)));
    SetTextureName(ReadFileKey(loader, "TextureName", Path));
    SetAlphaName(ReadFileKey(loader, "AlphaName", Path));
    SetFormat(StrToTextureFormat(loader.ReadString("Format", PairMode() ? "Alpha" : "Texture")));
    Animated = loader.ReadBool("Animated", false);
    SpriteColor = StripAlpha(loader.ReadByteColor("SpriteColor", SpriteColor));
    AutoSpriteColor = loader.ReadBool("AutoSpriteColor", false);
    std::string list = ReadFileKey(loader, "FileListName", Path);
    if (list.empty()) {
        FileListName.clear();
        FileList.clear();
    } else {
        ReadFileList(list);
    }
    SetFileIndex(loader.ReadInteger("FileIndex", FileIndex()));
}

void TSceneTexture::WriteProperties(TResourceLoader& loader) {
    TMainObject::WriteProperties(loader);
    if (FFormat != tfTexture) loader.WriteString("Format", TextureFormatToStr(FFormat));
    loader.WriteFileName("TextureName", Path, FTextureName);
    if (FFormat != tfTexture) {
        const float alphaValue = FGLTexture ? FGLTexture->AlphaValue : FFormat == tfSprite ? 0.5f : 0.02f;
        loader.WriteFloat("AlphaValue", alphaValue);
    }
    if (FFormat == tfAlpha) loader.WriteFileName("AlphaName", Path, FAlphaName);
    if (FFormat == tfSprite) {
        if (AutoSpriteColor)
            loader.WriteBool("AutoSpriteColor", true);
        else
            loader.WriteByteColor("SpriteColor", SetOpaque(SpriteColor));
    }
    loader.WriteBool("Animated", Animated);
    loader.WriteInteger("FileIndex", FileIndex());
    loader.WriteString("Path", Path);
    loader.WriteFileName("FileListName", Path, FileListName);
}

// --- TSceneTextureList ----------------------------------------------------------

TSceneTextureList::TSceneTextureList() = default;

TSceneTexture* TSceneTextureList::Texture(int index) const { return dynamic_cast<TSceneTexture*>(GetItem(index)); }

void TSceneTextureList::SetQuality(TTextureQuality quality) {
    if (quality > tqLow) quality = tqLow;
    if (quality == FQuality) return;
    FQuality = quality;
    ReconfigureAll();
}

void TSceneTextureList::SetColorBit(TTextureColorBit colorBit) {
    if (colorBit > cb16bit) colorBit = cbCompressed;
    if (colorBit == FColorBit) return;
    FColorBit = colorBit;
    ReconfigureAll();
}

void TSceneTextureList::SetMipMap(bool mipMap) {
    if (mipMap == FMipMap) return;
    FMipMap = mipMap;
    ReconfigureAll();
}

void TSceneTextureList::ReconfigureAll() {
    const TRendererKind kind = SceneRendererKind(MainScene);
    for (int i = 0, n = GetCount(); i < n; ++i) {
        TSceneTexture* texture = Texture(i);
        TGLTexture* gl = texture ? texture->GLTexture() : nullptr;
        if (!gl) continue;
        gl->DeleteName();
        gl->MinFilter = ReconfigureFilter(kind, FMipMap, texture->Format());
        // Texture lists are the only owners of GL textures.
        const auto* textures = static_cast<const TGLTextureList*>(gl->Owner());
        gl->InternalFormat = LayoutFor(textures, texture->Format(), FColorBit, texture->Animated).InternalFormat;
    }
}

void TSceneTextureList::FreeGLTextures() {
    for (int i = 0, n = GetCount(); i < n; ++i)
        if (TSceneTexture* texture = Texture(i)) texture->FreeGLTexture();
}

TSceneTexture* TSceneTextureList::AddFormat(const std::string& name, TTextureFormat format,
                                            const std::string& alphaFile, const std::string& file) {
    const std::string key(str::ExtractFileName(name));
    if (TMainObject* existing = FindObject(key)) return dynamic_cast<TSceneTexture*>(existing);
    auto created = std::make_unique<TSceneTexture>();
    created->SetName(key);
    TSceneTexture* texture = Add(std::move(created));
    texture->Path = Path;
    texture->CreateGLTexture(format);
    texture->SetTextureName(str::CombinePath(Path, file));
    texture->SetAlphaName(alphaFile.empty() ? std::string() : str::CombinePath(Path, alphaFile));
    texture->SpriteColor = MakeByteColor(0, 0, 0, 0);
    texture->AutoSpriteColor = format == tfSprite;
    return texture;
}

TSceneTexture* TSceneTextureList::AddTexture(const std::string& name, const std::string& file) {
    return AddFormat(name, tfTexture, "", file);
}

TSceneTexture* TSceneTextureList::AddAlphaTexture(const std::string& name, const std::string& alphaFile,
                                                  const std::string& file) {
    return AddFormat(name, tfAlpha, alphaFile, file);
}

TSceneTexture* TSceneTextureList::AddSprite(const std::string& name, const std::string& file) {
    return AddFormat(name, tfSprite, "", file);
}

void TSceneTextureList::ReadProperties(TResourceLoader& loader) {
    TResource::ReadProperties(loader);
    SetQuality(StrToTextureQuality(loader.ReadString("Quality", "High")));
    SetColorBit(StrToTextureColorBit(loader.ReadString("ColorBit", "Compressed")));
    SetMipMap(loader.ReadBool("MipMap", false));
}

void TSceneTextureList::WriteProperties(TResourceLoader& loader) {
    TResource::WriteProperties(loader);
    loader.WriteString("Quality", TextureQualityToStr(FQuality));
    loader.WriteString("ColorBit", TextureColorBitToStr(FColorBit));
    loader.WriteBool("MipMap", FMipMap);
}

void TSceneTextureList::LoadSettings() {
    if (ISceneHost* host = HostOf(*this)) {
        SetQuality(StrToTextureQuality(host->ReadString(Name() + " Quality", TextureQualityToStr(FQuality))));
        SetColorBit(StrToTextureColorBit(host->ReadString(Name() + " ColorBit", TextureColorBitToStr(FColorBit))));
        SetMipMap(host->ReadBool(Name() + " MipMap", FMipMap));
        for (int i = 0, n = GetCount(); i < n; ++i) {
            TSceneTexture* texture = Texture(i);
            if (!texture) continue;
            if (!texture->FileListName.empty())
                texture->SetFileIndex(host->ReadInteger(FileListIndexKey(texture->FileListName), 0));
            texture->SetLoadFromFile(host->ReadBool(texture->Name() + " LoadFromFile", texture->LoadFromFile()));
            if (texture->LoadFromFile()) {
                texture->SetTextureName(host->ReadString(texture->Name() + " TextureName", texture->TextureName()));
                texture->SetAlphaName(host->ReadString(texture->Name() + " AlphaName", texture->AlphaName()));
            }
        }
    }
    TResource::LoadSettings();
}

void TSceneTextureList::SaveSettings() {
    if (ISceneHost* host = HostOf(*this)) {
        host->WriteString(Name() + " Quality", TextureQualityToStr(FQuality));
        host->WriteString(Name() + " ColorBit", TextureColorBitToStr(FColorBit));
        host->WriteBool(Name() + " MipMap", FMipMap);
        for (int i = 0, n = GetCount(); i < n; ++i) {
            TSceneTexture* texture = Texture(i);
            if (!texture) continue;
            if (!texture->FileListName.empty())
                host->WriteInteger(FileListIndexKey(texture->FileListName), texture->FileIndex());
            host->WriteBool(texture->Name() + " LoadFromFile", texture->LoadFromFile());
            if (texture->LoadFromFile()) {
                host->WriteString(texture->Name() + " TextureName", texture->TextureName());
                host->WriteString(texture->Name() + " AlphaName", texture->AlphaName());
            }
        }
    }
    TResource::SaveSettings();
}

void TSceneTextureList::ListResources(std::vector<std::string>& lines) {
    auto add = [&](const std::string& file) {
        const char* type = LowerExtension(file) == ".bmp" ? " Bitmap " : " RCData ";
        lines.push_back(ResourceNameFromFileName(file) + type + file);
    };
    for (int i = 0, n = GetCount(); i < n; ++i) {
        const TSceneTexture* texture = Texture(i);
        if (!texture) continue;
        add(texture->TextureName());
        if (!texture->AlphaName().empty()) add(texture->AlphaName());
    }
}
