#include "scene/scene_fonts.h"

#include "platform/null/font_rasterizer_null.h"
#include "render/gl_recorder.h"
#include "render/gl_textures.h"
#include "core/errors.h"
#include "scene/loader.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>
#include <unistd.h>

namespace {

namespace fs = std::filesystem;

// The alpha of a glyph texel at column x of picture row y (counted from the
// top, as the glyphs were laid out); the texture is stored bottom row first.
uint8_t AlphaAt(TSceneFont& font, int x, int y) {
    TGLTexture* t = font.GlyphTexture();
    const uint8_t* row = t->GetScanLine(font.TextureSize - 1 - y);
    return row[4 * x + 3];
}

// Counts texels with any coverage in the picture rectangle.
int Lit(TSceneFont& font, int x0, int y0, int x1, int y1) {
    int n = 0;
    for (int y = y0; y < y1; ++y)
        for (int x = x0; x < x1; ++x)
            if (AlphaAt(font, x, y) != font.AlphaBackground) ++n;
    return n;
}

void ReadScript(TSceneFont& font, const std::string& keys) {
    TResourceLoader loader;
    loader.OpenText("[Font]\n" + keys);
    loader.Section = "Font";
    font.ReadProperties(loader);
}

std::string Enabled(const TSceneFont& font) {
    std::string out;
    for (int c = 0; c < 256; ++c)
        if (font.GetCharMap(c).Enabled) out += static_cast<char>(c);
    return out;
}

// --- sets and character map --------------------------------------------------------------

TEST(FontSets, TextFormsWriteMembersOnceAndReadWordsAnywhere) {
    EXPECT_EQ(FontStylesToStr(fsBold | fsStrikeOut), "[Bold,StrikeOut]");
    EXPECT_EQ(FontStylesToStr(0), "[]");
    EXPECT_EQ(FontOptionsToStr(foSoften | foBuildFromFont | foFixedView), "[Soften,BuildFromFont,FixedView]");
    EXPECT_EQ(StrToFontOptions("[fixedSIZE, 3dview]"), foFixedSize | fo3DView);
    EXPECT_EQ(StrToFontOptions("FixedView"), foFixedView);  // not 3DView
    EXPECT_EQ(StrToFontStyles("boldly italic"), fsBold | fsItalic);
    EXPECT_EQ(StrToFontStyles(FontStylesToStr(fsUnderline | fsItalic)), fsUnderline | fsItalic);
}

TEST(FontCharMap, DefaultsEnableEveryCodeInItsOwnCell) {
    TSceneFont font;
    for (int c = 0; c < 256; ++c) {
        EXPECT_TRUE(font.GetCharMap(c).Enabled);
        EXPECT_EQ(font.GetCharMap(c).Cell, c);
    }
    EXPECT_EQ(font.TextureSize, 256);
    EXPECT_EQ(font.FontCellSize, 16);
    EXPECT_EQ(font.FontOptions, foBuildFromFont);
    EXPECT_EQ(font.FontStyle, fsBold);
    EXPECT_EQ(font.FontName, "Arial");
}

TEST(FontCharMap, EnabledCharactersAreNumberedInCodeOrder) {
    TSceneFont font;
    font.DisableAll();
    font.EnableString("spf 9876543210");
    EXPECT_EQ(Enabled(font), " 0123456789fps");
    EXPECT_EQ(font.GetCharMap(' ').Cell, 0);
    EXPECT_EQ(font.GetCharMap('0').Cell, 1);
    EXPECT_EQ(font.GetCharMap('9').Cell, 10);
    EXPECT_EQ(font.GetCharMap('f').Cell, 11);
    EXPECT_EQ(font.GetCharMap('p').Cell, 12);
    EXPECT_EQ(font.GetCharMap('s').Cell, 13);
}

TEST(FontCharMap, DisablingClearsTheRecordAndRenumbers) {
    TSceneFont font;
    font.SetChars('A', 'C', false);
    EXPECT_EQ(font.GetCharMap('D').Cell, 'A');
    TCharCell a = font.GetCharMap('A');
    EXPECT_FALSE(a.Enabled);
    EXPECT_EQ(a.Cell, 0);
    EXPECT_EQ(a.Width, 0);
    // Ranges reaching outside 0..255 keep to it.
    font.SetChars(-10, 300, false);
    EXPECT_EQ(Enabled(font), "");
    font.EnableCodes(250, 400);
    EXPECT_EQ(Enabled(font).size(), 6u);
}

TEST(FontCharMap, CodeOutsideTheMapRaises) {
    TSceneFont font;
    try {
        font.GetCharMap(256);
        FAIL() << "no error";
    } catch (const Exception& e) {
        EXPECT_STREQ(e.what(), "TSceneFont.GetCharMap error: Index out of bounds!");
    }
    EXPECT_THROW(font.GetCharMap(-1), Exception);
}

// --- script ----------------------------------------------------------------------------------

TEST(FontScript, CharacterKeysEnableTheirFamiliesUntilTheFirstGap) {
    TSceneFont font;
    ReadScript(font,
               "Char1=xyz\nChar2=!\nChar4=Q\n"
               "StartChar1=a\nEndChar1=c\n"
               "Code1=200\nCode2=-1\nCode3=201\n"
               "StartCode1=48\nEndCode1=50\nStartCode2=60\n"
               "Str1=HI\nStr3=Z\n");
    EXPECT_EQ(Enabled(font), "!012HIabcx\xC8");
}

TEST(FontScript, KeysReadAndWrittenBack) {
    TSceneFont font;
    ReadScript(font,
               "Color=10,20,30,40\nAlphaBackground=7\nTextureSize=128\nFontCellSize=32\nScaleX=2\nScaleY=0.5\n"
               "ViewWidth=640\nViewHeight=480\nFontName=Courier\nFontOptions=[FixedSize,Scaled]\n"
               "FontStyle=[Italic,Underline]\n");
    EXPECT_EQ(font.Color, MakeByteColor(10, 20, 30, 40));
    EXPECT_EQ(font.AlphaBackground, 7);
    EXPECT_FLOAT_EQ(font.ScaleY, 0.5f);
    EXPECT_EQ(font.FontOptions, foFixedSize | foScaled);
    EXPECT_EQ(font.FontStyle, fsItalic | fsUnderline);
    // No character keys: nothing is enabled.
    EXPECT_EQ(Enabled(font), "");

    TResourceLoader out;
    out.CreateForWriting();
    out.Section = "Font";
    font.WriteProperties(out);
    const TScript& script = *out.Script();
    EXPECT_EQ(*script.Value("Font", "FontStyle"), "[Italic,Underline]");
    EXPECT_EQ(*script.Value("Font", "FontOptions"), "[FixedSize,Scaled]");
    EXPECT_EQ(script.Value("Font", "Char1"), nullptr);
}

// --- cells -------------------------------------------------------------------------------------

TEST(FontCells, LetterAOfTheDefaultGridSitsInColumnOneRowFour) {
    TSceneFont font;
    font.ComputeCells();
    TCharCell a = font.GetCharMap('A');
    // top = 256 - 16 * 4 - 1, left = 16; zero width and height.
    EXPECT_FLOAT_EQ(a.TexCoords[0].x, 16.0f / 256);
    EXPECT_FLOAT_EQ(a.TexCoords[0].y, 191.0f / 256);
    EXPECT_FLOAT_EQ(a.TexCoords[1].y, 192.0f / 255);
    EXPECT_FLOAT_EQ(a.TexCoords[2].x, 18.0f / 256);
    EXPECT_FLOAT_EQ(a.Vertices[0].y, 16);
    EXPECT_FLOAT_EQ(a.Vertices[2].x, 0);
}

TEST(FontCells, QuadIsOneCellHighAndTwoTexelsWiderInTheTexture) {
    platform::NullFontRasterizer rasterizer;
    platform::GlyphCoverage wide;
    wide.Advance = 10;
    rasterizer.Glyphs[U'B'] = wide;
    TSceneFont font;
    font.Rasterizer = &rasterizer;
    font.TextureSize = 64;
    font.DisableAll();
    font.EnableString("AB");
    font.Build();
    TCharCell b = font.GetCharMap('B');  // cell 1: column 1, row 0
    ASSERT_EQ(b.Width, 10);
    ASSERT_EQ(b.Height, 16);  // the null face's line height is the cell
    const float top = 63, left = 16;
    EXPECT_FLOAT_EQ(b.TexCoords[0].x, left / 64);
    EXPECT_FLOAT_EQ(b.TexCoords[0].y, top / 64);
    EXPECT_FLOAT_EQ(b.TexCoords[1].x, left / 64);
    EXPECT_FLOAT_EQ(b.TexCoords[1].y, (top - 16 + 1) / 63);
    EXPECT_FLOAT_EQ(b.TexCoords[2].x, (left + 10 + 2) / 64);
    EXPECT_FLOAT_EQ(b.TexCoords[3].y, top / 64);
    EXPECT_FLOAT_EQ(b.Vertices[0].x, 0);
    EXPECT_FLOAT_EQ(b.Vertices[0].y, 16);
    EXPECT_FLOAT_EQ(b.Vertices[1].y, 0);
    EXPECT_FLOAT_EQ(b.Vertices[2].x, 10);
    EXPECT_FLOAT_EQ(b.Vertices[3].x, 10);
    EXPECT_FLOAT_EQ(b.Vertices[3].y, 16);
    EXPECT_FLOAT_EQ(b.Advance, 10);
}

TEST(FontCells, FixedSizeAdvancesEveryCharacterByTheWidthOfW) {
    platform::NullFontRasterizer rasterizer;  // "W" is 12 wide at 16, others 8
    TSceneFont font;
    font.Rasterizer = &rasterizer;
    font.FontOptions |= foFixedSize;
    font.Build();
    EXPECT_EQ(font.FixedAdvance(), 12);
    EXPECT_FLOAT_EQ(font.GetCharMap('i').Advance, 12);
    EXPECT_FLOAT_EQ(font.GetCharMap(' ').Advance, 12);
    EXPECT_EQ(font.GetCharMap('i').Width, 8);
}

TEST(FontCells, SizesThatCannotBeLaidOutRaise) {
    TSceneFont font;
    font.TextureSize = 100;
    EXPECT_THROW(font.Build(), Exception);
    font.TextureSize = 256;
    font.FontCellSize = 0;
    EXPECT_THROW(font.Build(), Exception);
    font.FontCellSize = 512;
    EXPECT_THROW(font.Build(), Exception);
    EXPECT_FALSE(font.Built());
}

// --- glyph texture -------------------------------------------------------------------------

TEST(FontGlyphs, WhiteGlyphsWithCoverageAsAlphaOverTheBackground) {
    platform::NullFontRasterizer rasterizer;
    TSceneFont font;
    font.Rasterizer = &rasterizer;
    font.TextureSize = 64;
    font.AlphaBackground = 9;
    font.DisableAll();
    font.EnableString("AB");
    font.Build();
    ASSERT_EQ(rasterizer.Requests.size(), 1u);
    EXPECT_EQ(rasterizer.Requests[0].Family, "Arial");
    EXPECT_EQ(rasterizer.Requests[0].Style, platform::FontBold);
    EXPECT_EQ(rasterizer.Requests[0].PixelHeight, 16);

    // "A" in cell 0: a block 8 wide (bold) from the top of the cell down to
    // the baseline at row 12.
    EXPECT_EQ(Lit(font, 0, 0, 16, 16), 8 * 12);
    EXPECT_EQ(Lit(font, 0, 0, 8, 12), 8 * 12);
    TGLTexture* t = font.GlyphTexture();
    const uint8_t* glyph = t->GetScanLine(63);  // picture row 0
    EXPECT_EQ(glyph[0], 255);
    EXPECT_EQ(glyph[3], 255);
    const uint8_t* background = t->GetScanLine(0);
    EXPECT_EQ(background[0], 0);
    EXPECT_EQ(background[3], 9);
    // "B" in cell 1, nothing past it.
    EXPECT_EQ(Lit(font, 16, 0, 32, 16), 8 * 12);
    EXPECT_EQ(Lit(font, 32, 0, 64, 64), 0);
    EXPECT_EQ(Lit(font, 0, 16, 64, 64), 0);
}

TEST(FontGlyphs, SoftenRendersAtTwiceTheSizeAndAveragesDown) {
    platform::NullFontRasterizer rasterizer;
    platform::GlyphCoverage dot;  // one pixel at twice the size
    dot.Advance = 4;
    dot.Width = dot.Height = 1;
    dot.Top = 24;  // the top row of the cell at ascent 24
    dot.Coverage = {200};
    rasterizer.Glyphs[U'.'] = dot;
    TSceneFont font;
    font.Rasterizer = &rasterizer;
    font.TextureSize = 32;
    font.FontOptions |= foSoften;
    font.DisableAll();
    font.EnableChar('.');
    font.Build();
    EXPECT_EQ(rasterizer.Requests[0].PixelHeight, 32);
    EXPECT_EQ(AlphaAt(font, 0, 0), 50);  // (200 + 0 + 0 + 0) / 4
    EXPECT_EQ(Lit(font, 0, 0, 32, 32), 1);
    EXPECT_EQ(font.GetCharMap('.').Width, 2);  // advance / 2
}

TEST(FontGlyphs, AGlyphWiderThanItsCellStaysInsideIt) {
    platform::NullFontRasterizer rasterizer;
    platform::GlyphCoverage huge;
    huge.Advance = 40;
    huge.Left = -5;
    huge.Top = 30;
    huge.Width = 50;
    huge.Height = 50;
    huge.Coverage.assign(50 * 50, 255);
    rasterizer.Glyphs[U'M'] = huge;
    TSceneFont font;
    font.Rasterizer = &rasterizer;
    font.TextureSize = 64;
    font.DisableAll();
    font.EnableString("LMN");
    font.Build();
    // "M" is cell 1 (16..31 across): it fills its own cell only.
    EXPECT_EQ(Lit(font, 16, 0, 32, 16), 256);
    EXPECT_EQ(Lit(font, 0, 0, 16, 16), 8 * 12);   // "L" untouched
    EXPECT_EQ(Lit(font, 32, 0, 48, 16), 8 * 12);  // "N" untouched
    EXPECT_EQ(Lit(font, 0, 16, 64, 64), 0);
    EXPECT_EQ(font.GetCharMap('M').Width, 16);
}

TEST(FontGlyphs, MoreCharactersThanCellsDrawOnlyWhatFits) {
    platform::NullFontRasterizer rasterizer;
    TSceneFont font;
    font.Rasterizer = &rasterizer;
    font.TextureSize = 64;
    font.FontCellSize = 32;  // four cells for 224 characters
    font.DisableAll();
    font.EnableCodes(32, 255);
    font.Build();
    // " " has no glyph; "!", '"' and "#" fill the other three cells.
    EXPECT_EQ(Lit(font, 0, 0, 32, 32), 0);
    EXPECT_EQ(Lit(font, 32, 0, 64, 32), 16 * 24);
    EXPECT_EQ(Lit(font, 0, 32, 32, 64), 16 * 24);
    EXPECT_EQ(Lit(font, 32, 32, 64, 64), 16 * 24);
}

TEST(FontGlyphs, UnderlineAndStrikeOutAreLinesAcrossTheAdvance) {
    platform::NullFontRasterizer rasterizer;
    platform::GlyphCoverage blank;
    blank.Advance = 10;
    rasterizer.Glyphs[U'_'] = blank;
    TSceneFont font;
    font.Rasterizer = &rasterizer;
    font.TextureSize = 16;
    font.FontStyle = fsUnderline | fsStrikeOut;
    font.DisableAll();
    font.EnableChar('_');
    font.Build();
    // Ascent 12: the underline one row under the baseline (row 13), the
    // strike-out at 12 - 4 (row 8).
    EXPECT_EQ(Lit(font, 0, 13, 16, 14), 10);
    EXPECT_EQ(Lit(font, 0, 8, 16, 9), 10);
    EXPECT_EQ(Lit(font, 0, 0, 16, 16), 20);
    EXPECT_EQ(rasterizer.Requests[0].Style, 0);
}

TEST(FontGlyphs, NoFaceAtAllLeavesTheBackground) {
    platform::NullFontRasterizer rasterizer;
    rasterizer.NoFaces = true;
    TSceneFont font;
    font.Rasterizer = &rasterizer;
    font.TextureSize = 32;
    font.Build();
    EXPECT_TRUE(font.Built());
    EXPECT_EQ(Lit(font, 0, 0, 32, 32), 0);
    EXPECT_EQ(font.GetCharMap('A').Width, 0);
}

TEST(FontGlyphs, FreeGLAllowsARebuildWithNewKeys) {
    platform::NullFontRasterizer rasterizer;
    TSceneFont font;
    font.Rasterizer = &rasterizer;
    font.TextureSize = 32;
    font.Build();
    font.TextureSize = 64;
    font.Build();  // built: nothing changes
    EXPECT_EQ(font.GlyphTexture()->Width(), 32);
    font.FreeGL();
    EXPECT_FALSE(font.Built());
    EXPECT_EQ(font.GlyphTexture()->Pixels(), nullptr);
    font.Build();
    EXPECT_EQ(font.GlyphTexture()->Width(), 64);
    EXPECT_EQ(rasterizer.Requests.size(), 2u);
}

// --- metrics file --------------------------------------------------------------------------

TEST(FontMetrics, HeaderSkippedThenThreeNumbersPerCode) {
    std::string text = "header line\r\n";
    for (int c = 0; c < 256; ++c)
        text += c == 'A' ? "1 9 14\r\n" : c == 'B' ? "\t1\t 30  5 extra\n" : c == 'W' ? "1 12 16\n" : "0 0 0\n";
    TFontMetrics m;
    ASSERT_TRUE(ParseFontMetrics(text, m));
    EXPECT_TRUE(m['A'].Enabled);
    EXPECT_EQ(m['A'].Width, 9);
    EXPECT_EQ(m['A'].Height, 14);
    EXPECT_EQ(m['B'].Width, 30);
    EXPECT_EQ(m['B'].Height, 5);
    EXPECT_FALSE(m['C'].Enabled);
}

TEST(FontMetrics, ShortBrokenAndHugeValuesAreBounded) {
    TFontMetrics m;
    EXPECT_FALSE(ParseFontMetrics("", m));
    ASSERT_TRUE(ParseFontMetrics("h\n1 x 3\n1 -5 99999999999\n7\n", m));
    EXPECT_TRUE(m[0].Enabled);
    EXPECT_EQ(m[0].Width, 0);
    EXPECT_EQ(m[0].Height, 3);
    EXPECT_EQ(m[1].Width, 0);
    EXPECT_EQ(m[1].Height, 0);  // not a 32-bit number
    EXPECT_TRUE(m[2].Enabled);
    EXPECT_FALSE(m[3].Enabled);  // past the end
    ASSERT_TRUE(ParseFontMetrics("h\n1 2 " + std::to_string(MaxMetricsSize * 2) + "\n", m));
    EXPECT_EQ(m[0].Height, MaxMetricsSize);
}

class FontMetricsFile : public ::testing::Test {
protected:
    void SetUp() override {
        Dir = fs::temp_directory_path() / ("font_metrics_" + std::to_string(::getpid()));
        fs::create_directories(Dir);
    }
    void TearDown() override { fs::remove_all(Dir); }
    fs::path Dir;
};

TEST_F(FontMetricsFile, ReplacesTheScriptsCharactersAndSizesTheCells) {
    std::ofstream(Dir / "glyphs.txt") << "metrics\n" << [] {
        std::string lines;
        for (int c = 0; c < 256; ++c)
            lines += c == 'A' ? "1 9 14\n" : c == 'B' ? "1 30 40\n" : c == 'W' ? "1 12 16\n" : "0 5 5\n";
        return lines;
    }();
    TSceneFont font;
    font.FontOptions = foFixedSize;  // not BuildFromFont
    font.FileName = (Dir / "glyphs.txt").string();
    font.Build();
    EXPECT_EQ(font.GlyphTexture(), nullptr);
    EXPECT_EQ(Enabled(font), "ABW");
    EXPECT_EQ(font.GetCharMap('A').Cell, 0);
    EXPECT_EQ(font.GetCharMap('W').Cell, 2);
    EXPECT_EQ(font.GetCharMap('A').Width, 9);
    EXPECT_EQ(font.GetCharMap('B').Width, 16);  // kept to its cell
    EXPECT_EQ(font.GetCharMap('C').Width, 0);
    EXPECT_EQ(font.FixedAdvance(), 12);
    EXPECT_FLOAT_EQ(font.GetCharMap('A').Advance, 12);
}

TEST_F(FontMetricsFile, MissingFileLeavesEveryCharacterWithoutSize) {
    TSceneFont font;
    font.FontOptions = 0;
    font.FileName = (Dir / "absent.txt").string();
    font.Build();
    EXPECT_TRUE(font.Built());
    EXPECT_EQ(font.GetCharMap('A').Width, 0);
    EXPECT_FLOAT_EQ(font.GetCharMap('A').Advance, 0);
}

// --- drawing -------------------------------------------------------------------------------

TEST(FontDrawing, FixedViewProjectsOntoTheFixedScreen) {
    platform::NullFontRasterizer rasterizer;
    TGLRecorder rec;
    TSceneFont font;
    font.Rasterizer = &rasterizer;
    font.FontOptions |= foFixedView;
    font.BeginDraw();
    EXPECT_TRUE(rec.Has("glDisable", {GL_LIGHTING}));
    EXPECT_TRUE(rec.Has("glDisable", {GL_CULL_FACE}));
    EXPECT_TRUE(rec.Has("glDisable", {GL_DEPTH_TEST}));
    EXPECT_TRUE(rec.Has("glDisable", {GL_FOG}));
    EXPECT_TRUE(rec.Has("glEnable", {GL_TEXTURE_2D}));
    EXPECT_TRUE(rec.Has("glBindTexture", {GL_TEXTURE_2D, 1}));
    EXPECT_TRUE(rec.Has("glOrtho", {0, 1024, 0, 768, -100, 100})) << rec.Text();
    EXPECT_EQ(rec.Count("glPushMatrix"), 1);
    font.EndDraw();
    EXPECT_EQ(rec.Count("glPopMatrix"), 1);
    EXPECT_EQ(rec.Calls.back().Name, std::string("glMatrixMode"));
    EXPECT_EQ(rec.Calls.back().Args[0], GL_MODELVIEW);
}

TEST(FontDrawing, ThreeDViewLeavesTheProjectionAlone) {
    platform::NullFontRasterizer rasterizer;
    TGLRecorder rec;
    TSceneFont font;
    font.Rasterizer = &rasterizer;
    font.FontOptions |= fo3DView;
    font.BeginDraw();
    font.EndDraw();
    EXPECT_EQ(rec.Count("glOrtho"), 0);
    EXPECT_EQ(rec.Count("glPushMatrix"), 0);
}

TEST(FontDrawing, EachCharacterIsAQuadFollowedByItsAdvance) {
    platform::NullFontRasterizer rasterizer;
    TGLRecorder rec;
    TSceneFont font;
    font.Rasterizer = &rasterizer;
    font.FontOptions |= foScaled;
    font.ScaleX = 2;
    font.ScaleY = 3;
    font.Color = MakeByteColor(1, 2, 3, 4);
    font.Build();
    rec.Clear();
    font.DrawText(16, 732, "Wi");
    EXPECT_TRUE(rec.Has("glTranslatef", {16, 732, 0}));
    EXPECT_TRUE(rec.Has("glScalef", {2, 3, 0}));
    EXPECT_EQ(rec.Count("glDrawElements"), 2);
    EXPECT_TRUE(rec.Has("glDrawElements", {GL_TRIANGLES, 6}));
    EXPECT_TRUE(rec.Has("glTranslatef", {12, 0, 0}));  // after "W"
    EXPECT_TRUE(rec.Has("glTranslatef", {8, 0, 0}));   // after "i"
    EXPECT_EQ(rec.Count("glColor4ubv"), 1);
    EXPECT_EQ(rec.Count("glPushMatrix"), rec.Count("glPopMatrix"));
}

}  // namespace
