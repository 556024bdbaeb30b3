#include "scene/memory_scene_host.h"
#include "scene/scene_textures.h"

#include "platform/null/gl_context_null.h"
#include "platform/null/gl_library_null.h"
#include "platform/resources.h"
#include "render/gl_recorder.h"
#include "render/gl_textures.h"
#include "render/opengl.h"
#include "core/archive.h"
#include "core/archive_packer.h"
#include "core/errors.h"
#include "core/test_pictures.h"
#include "scene/loader.h"
#include "scene/registry.h"
#include "test_support.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <map>

namespace {

namespace fs = std::filesystem;

using THost = TMemorySceneHost;


// Texel x of texel row i (row 0 is the picture's bottom row).
const uint8_t* Texel(TSceneTexture& t, int row, int x) {
    TGLTexture* gl = t.GLTexture();
    return gl->GetScanLine(row) + static_cast<size_t>(gl->BytesPerPixel()) * static_cast<size_t>(x);
}

class SceneTextures : public ::testing::Test {
protected:
    SceneTextures() {
        dir = fs::path(::testing::TempDir()) /
              ("scenetex_" + std::string(::testing::UnitTest::GetInstance()->current_test_info()->name()));
        fs::remove_all(dir);
        fs::create_directories(dir);
        scene.Application = &host;
        scene.LoadSources = lsFiles;
        auto textures = std::make_unique<TSceneTextureList>();
        textures->SetName("Textures");
        list = scene.Add(std::move(textures));
        list->Path = dir.string() + "/";
    }
    ~SceneTextures() override { fs::remove_all(dir); }

    void Save(const std::string& name, const std::vector<uint8_t>& bytes) { SaveBytesToFile((dir / name).string(), bytes); }
    void SaveBMP(const std::string& name, const TPicture& p) { Save(name, WriteBMP(p)); }

    TSceneTexture* NewTexture(const std::string& name, const std::string& file, TTextureFormat format = tfTexture) {
        auto texture = std::make_unique<TSceneTexture>();
        texture->SetName(name);
        TSceneTexture* t = list->Add(std::move(texture));
        t->Path = list->Path;
        t->SetTextureName(file);
        t->SetFormat(format);
        return t;
    }

    // Makes the texture's GL list offer ARB compression, as a driver would.
    void OfferCompression(TSceneTexture& t) {
        rec.Strings[GL_EXTENSIONS] = "GL_ARB_texture_compression";
        t.CreateGLTexture(t.Format());
        static_cast<TGLTextureList*>(t.GLTexture()->Owner())->InitContext();
    }

    TGLRecorder rec;
    platform::NullGLLibrary library;
    platform::NullGLContext binding;
    TCustomOpenGL ogl{library, binding};
    THost host{&ogl};
    TMainScene scene;
    TSceneTextureList* list = nullptr;
    fs::path dir;
};

// --- sizes -------------------------------------------------------------------------

TEST_F(SceneTextures, PicturesAreStretchedAndReducedBeforeUpload) {
    SaveBMP("wide.bmp", Pattern(640, 480));
    TSceneTexture* t = NewTexture("wide", "wide.bmp");
    t->EnsureTexture();
    EXPECT_EQ(t->SourceWidth, 640);
    EXPECT_EQ(t->SourceHeight, 480);
    EXPECT_EQ(t->GLTexture()->Width(), 512);
    EXPECT_EQ(t->GLTexture()->Height(), 256);

    SaveBMP("big.bmp", Flat(1024, 1024, 1, 2, 3));
    TSceneTexture* big = NewTexture("big", "big.bmp");
    list->SetQuality(tqMedium);
    big->EnsureTexture();
    EXPECT_EQ(big->GLTexture()->Width(), 1024);
    list->SetQuality(tqLow);
    EXPECT_EQ(big->GLTexture()->Width(), 1024) << "a new quality waits for FreeGLTextures";
    list->FreeGLTextures();
    EXPECT_EQ(big->GLTexture(), nullptr);
    big->EnsureTexture();
    EXPECT_EQ(big->GLTexture()->Width(), 512);
    EXPECT_EQ(big->ScaleDivisor, 2);
}

// --- conversion ----------------------------------------------------------------------

TEST_F(SceneTextures, TexelRowsRunBottomUpInBlueGreenRedOrder) {
    SaveBMP("p.bmp", Pattern(4, 2));
    TSceneTexture* t = NewTexture("p", "p.bmp");
    t->EnsureTexture();
    ASSERT_EQ(t->GLTexture()->BytesPerPixel(), 3);
    EXPECT_EQ(t->GLTexture()->PixelFormat(), GL_BGR_EXT);
    // Texel row 0 is picture row 1.
    const uint8_t* px = Texel(*t, 0, 3);
    EXPECT_EQ(px[0], 31);
    EXPECT_EQ(px[1], 20);
    EXPECT_EQ(px[2], 196);
    EXPECT_EQ(Texel(*t, 1, 3)[0], 30);
}

TEST_F(SceneTextures, DivisorTwoAveragesBlocksAndDivisorFourHalfTheBlock) {
    TSceneTexture* t = NewTexture("p", "");
    t->CreateGLTexture(tfTexture);
    TPicture picture = Pattern(8, 8);
    t->ScaleDivisor = 2;
    t->GLTexture()->SetSize(4, 4);
    t->GLTexture()->AllocPixels();
    t->AlphaFromBitmap(picture, picture);
    // Texel (1, row 0) averages picture columns 2-3 of rows 6-7: blue 26,27,36,37.
    EXPECT_EQ(Texel(*t, 0, 1)[0], (26 + 36 + 27 + 37) >> 2);
    EXPECT_EQ(Texel(*t, 0, 1)[1], (120 + 120 + 140 + 140) >> 2);

    // Divisor 4: the sampled pixels carry 100, the skipped ones 0.
    TPicture marked = Flat(8, 4, 0, 0, 0);
    for (auto [x, y] : {std::pair{0, 0}, {2, 0}, {0, 1}, {2, 1}, {1, 2}, {3, 2}, {1, 3}, {3, 3}}) marked.Row(y)[3 * x] = 100;
    t->ScaleDivisor = 4;
    t->GLTexture()->SetSize(2, 1);
    t->GLTexture()->AllocPixels();
    t->AlphaFromBitmap(marked, marked);
    EXPECT_EQ(Texel(*t, 0, 0)[0], 100);
    EXPECT_EQ(Texel(*t, 0, 1)[0], 0);
}

TEST_F(SceneTextures, EightBitPicturesArePointSampledThroughThePalette) {
    TPicture picture;
    picture.SetSize(64, 64, 8);
    picture.Palette[7] = TRGBQuad{1, 2, 3, 0};
    picture.Palette[9] = TRGBQuad{200, 100, 50, 0};
    for (int y = 0; y < 64; ++y)
        for (int x = 0; x < 64; ++x) picture.Row(y)[x] = (x % 2 == 0) ? 7 : 9;
    SaveBMP("pal.bmp", picture);
    TSceneTexture* t = NewTexture("pal", "pal.bmp");
    list->SetQuality(tqLow);
    t->EnsureTexture();
    ASSERT_EQ(t->GLTexture()->Width(), 32);
    // Point sampling at even columns only ever sees index 7, never a blend.
    for (int x = 0; x < 32; ++x) ASSERT_EQ(Texel(*t, 5, x)[2], 3) << x;

    // A palette shorter than an index (hand-made picture) reads black.
    picture.Palette.resize(8);
    t->ScaleDivisor = 1;
    t->GLTexture()->SetSize(64, 64);
    t->GLTexture()->AllocPixels();
    t->AlphaFromBitmap(picture, picture);
    EXPECT_EQ(Texel(*t, 0, 1)[0], 0);
    EXPECT_EQ(Texel(*t, 0, 0)[0], 1);
}

TEST_F(SceneTextures, AlphaComesFromTheAlphaPictureBrightness) {
    SaveBMP("c.bmp", Pattern(64, 64));
    TPicture alpha = Flat(64, 64, 30, 60, 90);
    alpha.Row(63)[0] = 0;  // bottom-left pixel: 0 + 60 + 90
    SaveBMP("a.bmp", alpha);
    TSceneTexture* t = NewTexture("c", "c.bmp", tfAlpha);
    t->SetAlphaName("a.bmp");
    t->EnsureTexture();
    ASSERT_EQ(t->GLTexture()->BytesPerPixel(), 4);
    EXPECT_EQ(t->GLTexture()->PixelFormat(), GL_BGRA_EXT);
    EXPECT_EQ(Texel(*t, 0, 0)[3], 50);
    EXPECT_EQ(Texel(*t, 0, 0)[0], 63);

    // Averaged at divisor 2 over both pictures: (150 + 3 * 180) / 12.
    list->SetQuality(tqLow);  // 64 wide: 4 halved to 2
    list->FreeGLTextures();
    t->EnsureTexture();
    ASSERT_EQ(t->ScaleDivisor, 2);
    EXPECT_EQ(Texel(*t, 0, 0)[3], (150 + 3 * 180) / 12);

    // An 8-bit alpha picture is point sampled.
    TPicture grey;
    grey.SetSize(64, 64, 8);
    grey.Palette[0] = TRGBQuad{90, 90, 90, 0};
    SaveBMP("a.bmp", grey);
    list->FreeGLTextures();
    t->EnsureTexture();
    EXPECT_EQ(Texel(*t, 3, 3)[3], 90);

    SaveBMP("a.bmp", Flat(32, 64, 0, 0, 0));
    list->FreeGLTextures();
    try {
        t->EnsureTexture();
        FAIL() << "sizes differ";
    } catch (const Exception& e) {
        EXPECT_STREQ(e.what(), "TSceneTexture.AlphaFromBitmap error: Texture size is not equal Alpha size!");
    }
    EXPECT_EQ(t->GLTexture(), nullptr) << "a failed load leaves no half-made texture";
}

TEST_F(SceneTextures, SpriteIsTransparentExactlyWhereThePictureHasTheKeyColour) {
    TPicture picture = Flat(4, 4, 10, 20, 30);
    auto magenta = [&](int x, int y) {
        uint8_t* px = picture.Row(y) + 3 * x;
        px[0] = 255;
        px[1] = 0;
        px[2] = 255;
    };
    magenta(0, 0);
    magenta(2, 3);
    picture.Row(1)[3] = 254;  // near magenta is not the key
    picture.Row(1)[5] = 255;
    SaveBMP("s.bmp", picture);
    TSceneTexture* t = NewTexture("s", "s.bmp", tfSprite);
    t->AutoSpriteColor = true;
    t->EnsureTexture();
    EXPECT_EQ(t->SpriteColor, MakeByteColor(255, 0, 255, 0));
    EXPECT_FLOAT_EQ(t->GLTexture()->AlphaValue, 0.5f);
    int transparent = 0;
    for (int row = 0; row < 4; ++row)
        for (int x = 0; x < 4; ++x) transparent += Texel(*t, row, x)[3] == 0;
    EXPECT_EQ(transparent, 2);
    EXPECT_EQ(Texel(*t, 3, 0)[3], 0);
    EXPECT_EQ(Texel(*t, 0, 2)[3], 0);
    EXPECT_EQ(Texel(*t, 2, 1)[3], 255);
}

// --- GL side ---------------------------------------------------------------------

TEST_F(SceneTextures, FirstUseLoadsCreatesAndUploadsLaterUsesOnlyBind) {
    SaveBMP("w.bmp", Pattern(4, 4));
    TSceneTexture* t = NewTexture("w", "w.bmp");
    EXPECT_EQ(t->GLTexture(), nullptr);
    t->UseTexture();
    ASSERT_NE(t->GLTexture(), nullptr);
    EXPECT_TRUE(rec.Has("glTexImage2D", {GL_TEXTURE_2D, 0, GL_RGB8, 4, 4, 0, GL_BGR_EXT, GL_UNSIGNED_BYTE}))
        << rec.Text();
    EXPECT_TRUE(rec.Has("glTexParameteri", {GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_LINEAR}));
    EXPECT_TRUE(rec.Has("glEnable", {GL_TEXTURE_2D}));
    // The pixels stay in memory: the picture file is not needed again.
    fs::remove(dir / "w.bmp");
    rec.Clear();
    t->UseTexture();
    EXPECT_EQ(rec.Count("glTexImage2D"), 0);
    EXPECT_EQ(rec.Count("glBindTexture"), 1);
}

// A list that keeps no texels: GL's copy is the only one once uploaded, and
// a new setting reads the picture again for the next upload.
TEST_F(SceneTextures, WithoutKeptPixelsTexelsAreGivenBackAndReadAgainWhenGLNeedsThem) {
    list->KeepPixels = false;
    SaveBMP("w.bmp", Pattern(4, 4));
    TSceneTexture* t = NewTexture("w", "w.bmp");
    t->UseTexture();
    ASSERT_NE(t->GLTexture(), nullptr);
    EXPECT_TRUE(rec.Has("glTexImage2D", {GL_TEXTURE_2D, 0, GL_RGB8, 4, 4, 0, GL_BGR_EXT, GL_UNSIGNED_BYTE}));
    EXPECT_EQ(t->GLTexture()->Pixels(), nullptr);
    rec.Clear();
    t->UseTexture();
    EXPECT_EQ(rec.Count("glTexImage2D"), 0);

    SaveBMP("w.bmp", Pattern(8, 8));
    list->SetColorBit(cb16bit);
    t->UseTexture();
    EXPECT_TRUE(rec.Has("glTexImage2D", {GL_TEXTURE_2D, 0, GL_RGB5, 8, 8, 0, GL_BGR_EXT})) << rec.Text();
    EXPECT_EQ(t->GLTexture()->Pixels(), nullptr);
}

struct TFormatCase {
    TTextureFormat Format;
    TTextureColorBit ColorBit;
    bool Animated;
    GLenum Internal;
};

TEST_F(SceneTextures, InternalFormatFollowsFormatColourDepthAndAnimation) {
    const TFormatCase cases[] = {
        {tfTexture, cb16bit, false, GL_RGB5},   {tfTexture, cb32bit, false, GL_RGB8},
        {tfTexture, cbCompressed, true, GL_RGB5}, {tfTexture, cbCompressed, false, GL_COMPRESSED_RGB_ARB},
        {tfAlpha, cb16bit, false, GL_RGBA4},    {tfAlpha, cb32bit, false, GL_RGBA8},
        {tfAlpha, cbCompressed, true, GL_RGBA4}, {tfAlpha, cbCompressed, false, GL_COMPRESSED_RGBA_ARB},
        {tfSprite, cb16bit, false, GL_RGB5_A1}, {tfSprite, cb32bit, false, GL_RGBA8},
        {tfSprite, cbCompressed, true, GL_RGB5_A1}, {tfSprite, cbCompressed, false, GL_COMPRESSED_RGBA_ARB},
    };
    SaveBMP("f.bmp", Pattern(2, 2));
    for (const TFormatCase& c : cases) {
        SCOPED_TRACE(TextureFormatToStr(c.Format) + " " + TextureColorBitToStr(c.ColorBit) + (c.Animated ? " animated" : ""));
        TSceneTexture* t = NewTexture("f" + std::to_string(&c - cases), "f.bmp", c.Format);
        t->SetAlphaName("f.bmp");
        t->Animated = c.Animated;
        OfferCompression(*t);
        list->SetColorBit(c.ColorBit);
        t->CreateGLTexture(c.Format);
        EXPECT_EQ(t->GLTexture()->InternalFormat, c.Internal);
        t->LoadTexture();
        rec.Clear();
        t->UseTexture();
        const GLenum pixels = c.Format == tfTexture ? GL_BGR_EXT : GL_BGRA_EXT;
        EXPECT_TRUE(rec.Has("glTexImage2D", {GL_TEXTURE_2D, 0, double(c.Internal), 2, 2, 0, double(pixels)}))
            << rec.Text();
    }
}

TEST_F(SceneTextures, FilterFollowsRendererAndMipmapSetting) {
    SaveBMP("m.bmp", Pattern(4, 2));
    TSceneTexture* t = NewTexture("m", "m.bmp");
    list->SetMipMap(true);
    t->UseTexture();
    EXPECT_TRUE(rec.Has("glTexImage2D", {GL_TEXTURE_2D, 2, GL_RGB8, 1, 1})) << "mipmap chain down to 1 x 1";
    EXPECT_TRUE(rec.Has("glTexParameteri", {GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_LINEAR_MIPMAP_LINEAR}));

    ogl.SetRendererKind(rkSoftware);
    t->CreateGLTexture(tfTexture);
    EXPECT_EQ(t->GLTexture()->MinFilter, GL_LINEAR_MIPMAP_NEAREST);
    t->CreateGLTexture(tfSprite);
    EXPECT_EQ(t->GLTexture()->MinFilter, GL_LINEAR_MIPMAP_NEAREST) << "the format before the call counts";
    t->CreateGLTexture(tfSprite);
    EXPECT_EQ(t->GLTexture()->MinFilter, GL_NEAREST);
    list->SetMipMap(false);
    t->CreateGLTexture(tfTexture);
    EXPECT_EQ(t->GLTexture()->MinFilter, GL_NEAREST);
}

TEST_F(SceneTextures, ReconfigureReuploadsKeptPixelsWithNewParameters) {
    SaveBMP("r.bmp", Pattern(4, 4));
    SaveBMP("s.bmp", Pattern(4, 4));
    TSceneTexture* plain = NewTexture("r", "r.bmp");
    TSceneTexture* sprite = NewTexture("s", "s.bmp", tfSprite);
    TSceneTexture* unused = NewTexture("u", "missing.bmp");
    plain->UseTexture();
    sprite->UseTexture();
    fs::remove(dir / "r.bmp");
    fs::remove(dir / "s.bmp");
    rec.Clear();

    list->SetColorBit(cb16bit);
    EXPECT_EQ(rec.Count("glDeleteTextures"), 2);
    EXPECT_EQ(unused->GLTexture(), nullptr) << "textures never used stay unloaded";
    plain->UseTexture();
    sprite->UseTexture();
    EXPECT_TRUE(rec.Has("glTexImage2D", {GL_TEXTURE_2D, 0, GL_RGB5, 4, 4, 0, GL_BGR_EXT}));
    EXPECT_TRUE(rec.Has("glTexImage2D", {GL_TEXTURE_2D, 0, GL_RGB5_A1, 4, 4, 0, GL_BGRA_EXT}));
    EXPECT_EQ(Texel(*plain, 0, 1)[0], 13) << "pixels kept from the first load";

    ogl.SetRendererKind(rkSoftware);
    list->SetMipMap(true);
    EXPECT_EQ(plain->GLTexture()->MinFilter, GL_NEAREST_MIPMAP_NEAREST);
    EXPECT_EQ(sprite->GLTexture()->MinFilter, GL_NEAREST);
    ogl.SetRendererKind(rkOpenGL);
    list->SetMipMap(false);
    list->SetMipMap(true);
    EXPECT_EQ(sprite->GLTexture()->MinFilter, GL_LINEAR_MIPMAP_LINEAR);
}

// --- file lists ---------------------------------------------------------------------

TEST_F(SceneTextures, PairModeListsChoosePicturesInPairs) {
    std::string text;
    for (int i = 0; i < 6; ++i) text += "Fon" + std::to_string(i) + ".jpg\r\nFon" + std::to_string(i) + "A.jpg\r\n";
    text.resize(text.size() - 2);  // the last line may lack its ending
    Save("fons.txt", std::vector<uint8_t>(text.begin(), text.end()));
    TSceneTexture* t = NewTexture("fon", "");
    t->Alpha = true;
    t->ReadFileList(list->Path + "fons.txt");
    ASSERT_EQ(t->FileList.size(), 12u);
    EXPECT_EQ(t->FileList[11], "Fon5A.jpg");

    t->SetFileIndex(7);  // 14 modulo 12
    EXPECT_EQ(t->TextureName(), "Fon1.jpg");
    EXPECT_EQ(t->AlphaName(), "Fon1A.jpg");
    EXPECT_EQ(t->FileIndex(), 1);
    t->SetFileIndex(-3);
    EXPECT_EQ(t->TextureName(), "Fon0.jpg");

    // An odd last line has no alpha line: only whole pairs are chosen.
    t->FileList.push_back("Odd.jpg");
    for (int i = 0; i < 20; ++i) {
        t->SetFileIndex(i);
        ASSERT_EQ(t->AlphaName(), t->TextureName().substr(0, 4) + "A.jpg") << i;
    }
}

TEST_F(SceneTextures, PlainListsWrapAndMissingListsDoNothing) {
    Save("waters.txt", {'a', '.', 'j', 'p', 'g', '\n', 'b', '.', 'j', 'p', 'g'});
    TSceneTexture* t = NewTexture("water", "first.jpg");
    t->SetFileIndex(4);
    EXPECT_EQ(t->TextureName(), "first.jpg") << "no list yet";
    t->ReadFileList(list->Path + "waters.txt");
    t->SetFileIndex(3);
    EXPECT_EQ(t->TextureName(), "b.jpg");
    EXPECT_EQ(t->FileIndex(), 1);
    t->ReadFileList(list->Path + "nolist.txt");
    EXPECT_TRUE(t->FileList.empty());
}

// --- script and settings ---------------------------------------------------------------

TEST_F(SceneTextures, ScriptKeysRoundTrip) {
    Save("fons.txt", {'x', '.', 'b', 'm', 'p', '\n', 'y', '.', 'b', 'm', 'p', '\n', 'z', '.', 'b', 'm', 'p', '\n',
                      'w', '.', 'b', 'm', 'p'});
    TResourceLoader loader;
    loader.Scene = &scene;
    loader.OpenText("[T1]\nPath=" + list->Path + "\nTextureName=x.bmp\nAlphaName=y.bmp\nAnimated=1\nFileListName=fons.txt\n"
                    "FileIndex=1\n[T2]\nFormat=Sprite\nTextureName=C:\\pics\\s.bmp\nSpriteColor=255,0,255\n"
                    "[T3]\nFormat=what\n[L]\nQuality=Medium please\nColorBit=16\nMipMap=1\n");
    loader.Section = "T1";
    TSceneTexture* a = NewTexture("a", "");
    a->ReadProperties(loader);
    EXPECT_EQ(a->Format(), tfAlpha) << "pair mode defaults to Alpha";
    EXPECT_TRUE(a->Animated);
    EXPECT_EQ(a->FileList.size(), 4u);
    EXPECT_EQ(a->TextureName(), "z.bmp");
    EXPECT_EQ(a->AlphaName(), "w.bmp");
    EXPECT_EQ(a->FileIndex(), 1);
    loader.Section = "T2";
    TSceneTexture* b = NewTexture("b", "");
    b->ReadProperties(loader);
    EXPECT_EQ(b->Format(), tfSprite);
    EXPECT_EQ(b->Path, list->Path) << "the list's path by default";
    EXPECT_EQ(b->TextureName(), "C:\\pics\\s.bmp");
    EXPECT_EQ(b->SpriteColor, MakeByteColor(255, 0, 255, 0));
    loader.Section = "T3";
    TSceneTexture* c = NewTexture("c", "");
    c->ReadProperties(loader);
    EXPECT_EQ(c->Format(), tfTexture);
    loader.Section = "L";
    list->ReadProperties(loader);
    EXPECT_EQ(list->Quality(), tqMedium);
    EXPECT_EQ(list->ColorBit(), cb16bit);
    EXPECT_TRUE(list->MipMap());

    TResourceLoader out;
    out.CreateForWriting();
    for (auto [section, object] : {std::pair<const char*, TMainObject*>{"T1", a}, {"T2", b}, {"L", list}}) {
        out.Section = section;
        object->WriteProperties(out);
    }
    const TScript& written = *out.Script();
    EXPECT_EQ(*written.Value("T1", "Format"), "Alpha");
    EXPECT_EQ(*written.Value("T1", "TextureName"), "z.bmp");
    EXPECT_EQ(*written.Value("T1", "AlphaValue"), "0.02");
    EXPECT_EQ(*written.Value("T1", "FileListName"), "fons.txt") << "written without the folder that is Path";
    EXPECT_EQ(*written.Value("T2", "TextureName"), "C:\\pics\\s.bmp");
    EXPECT_EQ(written.Value("T2", "AlphaName"), nullptr);
    EXPECT_EQ(*written.Value("L", "Quality"), "Medium");
    EXPECT_EQ(*written.Value("L", "ColorBit"), "16bit");

    TResourceLoader back;
    back.Scene = &scene;
    back.OpenText(written.Text());
    back.Section = "T1";
    TSceneTexture* a2 = NewTexture("a2", "");
    a2->ReadProperties(back);
    EXPECT_EQ(a2->Format(), a->Format());
    EXPECT_EQ(a2->FileIndex(), a->FileIndex());
    EXPECT_EQ(a2->AlphaName(), a->AlphaName());
    EXPECT_EQ(a2->Animated, a->Animated);
    back.Section = "T2";
    TSceneTexture* b2 = NewTexture("b2", "");
    b2->ReadProperties(back);
    EXPECT_EQ(b2->SpriteColor, b->SpriteColor);
    EXPECT_EQ(b2->TextureName(), b->TextureName());
}

TEST_F(SceneTextures, ScriptBuildsTheListThroughTheRegistry) {
    TResourceLoader loader;
    loader.Scene = &scene;
    loader.OpenText("[MainScene]\nCount=1\n[MainScene1]\nType=tscenetexturelist\nName=Clock\nQuality=Low\nCount=1\n"
                    "[Clock1]\nType=TSceneTexture\nName=clock.jpg\nTextureName=clock.bmp\nAlphaName=ClockA.bmp\n");
    loader.Section = "MainScene";
    loader.LoadChildren(scene);
    auto* clock = dynamic_cast<TSceneTexture*>(scene.FindObject("Clock/clock.jpg"));
    ASSERT_NE(clock, nullptr);
    EXPECT_EQ(clock->TextureList()->Quality(), tqLow);
    EXPECT_EQ(clock->Format(), tfAlpha);
    EXPECT_EQ(clock->TextureName(), ".\\clock.bmp");
    EXPECT_EQ(clock->GLTexture(), nullptr) << "loaded on first use only";
}

TEST_F(SceneTextures, SettingsKeysLoadAndSave) {
    Save("fons.txt", {'a', '\n', 'b', '\n', 'c', '\n', 'd'});
    TSceneTexture* fon = NewTexture("Fon", "");
    fon->Alpha = true;
    fon->ReadFileList(list->Path + "fons.txt");
    TSceneTexture* water = NewTexture("Water", "w.bmp");
    host.Values = {{"Textures Quality", "Low"},        {"Textures ColorBit", "32bit"},
                   {"Textures MipMap", "1"},           {"fonsIndex", "1"},
                   {"Water LoadFromFile", "1"},        {"Water TextureName", "/tmp/mine.bmp"}};
    scene.LoadSettings();
    EXPECT_EQ(list->Quality(), tqLow);
    EXPECT_EQ(list->ColorBit(), cb32bit);
    EXPECT_TRUE(list->MipMap());
    EXPECT_EQ(fon->TextureName(), "c");
    EXPECT_TRUE(water->LoadFromFile());
    EXPECT_EQ(water->TextureName(), "/tmp/mine.bmp");
    EXPECT_FALSE(fon->LoadFromFile());

    host.Values.clear();
    list->SetQuality(tqMedium);
    scene.SaveSettings();
    EXPECT_EQ(host.Values["Textures Quality"], "Medium");
    EXPECT_EQ(host.Values["Textures ColorBit"], "32bit");
    EXPECT_EQ(host.Values["Textures MipMap"], "1");
    EXPECT_EQ(host.Values["fonsIndex"], "1");
    EXPECT_EQ(host.Values["Fon LoadFromFile"], "0");
    EXPECT_EQ(host.Values["Water TextureName"], "/tmp/mine.bmp");
    EXPECT_EQ(host.Values.count("Fon TextureName"), 0u);
}

// --- mesh loader entry points ---------------------------------------------------------

// Mesh textures are read when first drawn: a scene names the fish of every
// water, and only the shown water's are wanted at the start.
TEST_F(SceneTextures, AddOperationsMakeTexturesOnceAndLoadThemOnFirstUse) {
    SaveBMP("Fish.bmp", Flat(4, 4, 9, 9, 9));
    SaveBMP("FishA.bmp", Flat(4, 4, 60, 60, 60));
    TSceneTexture* plain = list->AddTexture("meshes\\Fish.bmp", "Fish.bmp");
    ASSERT_NE(plain, nullptr);
    EXPECT_EQ(plain->Name(), "Fish.bmp");
    EXPECT_EQ(plain->Loads, 0u) << "read before it is drawn";
    plain->UseTexture();
    EXPECT_EQ(plain->Loads, 1u);
    EXPECT_EQ(plain->GLTexture()->Width(), 4);
    EXPECT_EQ(list->AddTexture("Fish.bmp", "Other.bmp"), plain);
    EXPECT_EQ(plain->TextureName(), list->Path + "Fish.bmp");

    TSceneTexture* alpha = list->AddAlphaTexture("FishA.jpg", "FishA.bmp", "Fish.bmp");
    EXPECT_EQ(alpha->Format(), tfAlpha);
    alpha->UseTexture();
    EXPECT_EQ(Texel(*alpha, 0, 0)[3], 60);
    TSceneTexture* sprite = list->AddSprite("Sprite.bmp", "Fish.bmp");
    EXPECT_EQ(sprite->Format(), tfSprite);
    EXPECT_TRUE(sprite->AutoSpriteColor);
    sprite->UseTexture();
    EXPECT_EQ(Texel(*sprite, 1, 1)[3], 0);
    EXPECT_EQ(list->FindObject("Sprite.bmp"), sprite);

    std::vector<std::string> lines;
    list->ListResources(lines);
    ASSERT_EQ(lines.size(), 4u);
    EXPECT_EQ(lines[0], "Fish_bmp Bitmap " + list->Path + "Fish.bmp");
    // The alpha texture names its colour picture, then its alpha picture.
    EXPECT_EQ(lines[1], "Fish_bmp Bitmap " + list->Path + "Fish.bmp");
    EXPECT_EQ(lines[2], "FishA_bmp Bitmap " + list->Path + "FishA.bmp");
}

// --- where bytes come from -------------------------------------------------------------

TEST_F(SceneTextures, PicturesAndListsComeFromTheArchive) {
    TPicture picture = Pattern(8, 8);
    std::vector<TArchiveSource> sources = {
        {"Sand.bmp", WriteBMP(picture), ""},
        {"Sea.jpg", EncodeJPEG(Flat(16, 16, 40, 120, 200), 95), ""},
        {"seabeds.txt", {'S', 'e', 'a', '.', 'j', 'p', 'g', '\r', '\n', 'S', 'a', 'n', 'd', '.', 'b', 'm', 'p'}, ""},
    };
    static std::vector<uint8_t> archive;
    archive = PackArchive(sources);
    RegisterRawResource("TEXTURES_RFA", archive.data(), archive.size());
    TResourceReaderGuard restore;
    TResourceFileReader& reader = TheResourceReader();
    reader.Mode = 3;
    reader.ArchiveName = "textures.rfa";
    reader.CloseArchive();
    scene.LoadSources = lsArchive;

    TSceneTexture* t = NewTexture("bed", "");
    t->ReadFileList(".\\Scene\\seabeds.txt");
    t->SetFileIndex(1);
    t->UseTexture();
    EXPECT_EQ(t->SourceWidth, 8);
    EXPECT_EQ(Texel(*t, 7, 2)[0], 20);
    t->SetFileIndex(0);
    EXPECT_EQ(t->GLTexture(), nullptr) << "a new choice is loaded on next use";
    t->UseTexture();
    EXPECT_EQ(t->GLTexture()->Width(), 16);
    EXPECT_NEAR(Texel(*t, 3, 3)[2], 200, 3);

    t->SetTextureName("Absent.bmp");
    t->FreeGLTexture();
    t->UseTexture();
    EXPECT_EQ(t->GLTexture()->Width(), 0) << "a missing entry gives an empty texture";

    UnregisterRawResource("TEXTURES_RFA");
}

TEST_F(SceneTextures, BadPictureBytesGiveClearErrorsOrEmptyTextures) {
    std::vector<uint8_t> bmp = WriteBMP(Pattern(8, 8));
    Save("cut.bmp", std::vector<uint8_t>(bmp.begin(), bmp.begin() + 40));
    TSceneTexture* t = NewTexture("cut", "cut.bmp");
    try {
        t->UseTexture();
        FAIL() << "a truncated bitmap loads";
    } catch (const Exception& e) {
        EXPECT_NE(std::string(e.what()).find("cut.bmp"), std::string::npos) << e.what();
    }
    EXPECT_EQ(t->GLTexture(), nullptr);

    Save("junk.jpg", {0xFF, 0xD8, 0xFF, 0xE0, 1, 2, 3});
    EXPECT_THROW(NewTexture("junk", "junk.jpg")->UseTexture(), Exception);

    Save("zero.bmp", {});
    EXPECT_THROW(NewTexture("zero", "zero.bmp")->UseTexture(), Exception);

    SaveBMP("odd.png", Pattern(4, 4));
    TSceneTexture* other = NewTexture("odd", "odd.png");
    other->UseTexture();
    EXPECT_EQ(other->GLTexture()->Width(), 0);

    // A picture handed in directly must cover the texture.
    TSceneTexture* small = NewTexture("small", "");
    small->CreateGLTexture(tfTexture);
    small->GLTexture()->SetSize(16, 16);
    small->GLTexture()->AllocPixels();
    TPicture tiny = Pattern(4, 4);
    EXPECT_THROW(small->AlphaFromBitmap(tiny, tiny), Exception);
}

TEST(SceneTextureRegistry, BothClassesAreRegistered) {
    auto texture = TheClassRegistry().Create("TSceneTexture");
    auto list = TheClassRegistry().Create("TSCENETEXTURELIST");
    ASSERT_NE(texture, nullptr);
    ASSERT_NE(list, nullptr);
    EXPECT_EQ(texture->ClassName(), "TSceneTexture");
    EXPECT_EQ(list->ClassName(), "TSceneTextureList");
    EXPECT_FALSE(list->Visible());
}

}  // namespace
