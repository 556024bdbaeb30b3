// Fonts through GDI: the font mapper picks the installed face closest to the
// request, and each character is rendered as an anti-aliased outline into a
// coverage bitmap. Characters beyond the basic multilingual plane are not
// rendered (the calls take one UTF-16 unit).
#include "platform/font_rasterizer.h"

#include <windows.h>

#include <algorithm>
#include <mutex>

#include "platform/win32/wide_text.h"

namespace platform {
namespace {

class GdiFace final : public IFontFace {
public:
    GdiFace(HDC dc, HFONT font, HGDIOBJ previous) : DC(dc), Font(font), Previous(previous) { ReadMetrics(); }
    ~GdiFace() override {
        SelectObject(DC, Previous);
        DeleteObject(Font);
        DeleteDC(DC);
    }
    GdiFace(const GdiFace&) = delete;
    GdiFace& operator=(const GdiFace&) = delete;

    const FontFaceMetrics& Metrics() const override { return FMetrics; }

    bool RenderGlyph(char32_t character, GlyphCoverage& glyph) override {
        glyph = GlyphCoverage{};
        if (character > 0xFFFF) return false;
        static constexpr MAT2 identity{{0, 1}, {0, 0}, {0, 0}, {0, 1}};
        GLYPHMETRICS gm{};
        const UINT ch = static_cast<UINT>(character);
        const DWORD size = GetGlyphOutlineW(DC, ch, GGO_GRAY8_BITMAP, &gm, 0, nullptr, &identity);
        if (size == GDI_ERROR) return false;
        glyph.Advance = gm.gmCellIncX;
        if (size == 0) return true;  // a blank such as the space
        std::vector<uint8_t> bits(size);
        if (GetGlyphOutlineW(DC, ch, GGO_GRAY8_BITMAP, &gm, size, bits.data(), &identity) == GDI_ERROR) return false;
        glyph.Left = gm.gmptGlyphOrigin.x;
        glyph.Top = gm.gmptGlyphOrigin.y;
        glyph.Width = static_cast<int32_t>(gm.gmBlackBoxX);
        glyph.Height = static_cast<int32_t>(gm.gmBlackBoxY);
        // Rows of 65 grey levels (0..64), each padded to four bytes.
        const size_t pitch = (static_cast<size_t>(glyph.Width) + 3) & ~size_t(3);
        if (pitch * static_cast<size_t>(glyph.Height) > bits.size()) return false;
        glyph.Coverage.resize(static_cast<size_t>(glyph.Width) * static_cast<size_t>(glyph.Height));
        for (int32_t y = 0; y < glyph.Height; ++y)
            for (int32_t x = 0; x < glyph.Width; ++x) {
                const unsigned level = std::min<unsigned>(bits[static_cast<size_t>(y) * pitch + static_cast<size_t>(x)], 64);
                glyph.Coverage[static_cast<size_t>(y) * static_cast<size_t>(glyph.Width) + static_cast<size_t>(x)] =
                    static_cast<uint8_t>((level * 255 + 32) / 64);
            }
        return true;
    }

private:
    void ReadMetrics() {
        wchar_t face[LF_FACESIZE] = {};
        const int n = GetTextFaceW(DC, LF_FACESIZE, face);
        if (n > 0) FMetrics.FamilyName = win32::Narrow(std::wstring_view(face, static_cast<size_t>(n - 1)));
        TEXTMETRICW tm{};
        GetTextMetricsW(DC, &tm);
        FMetrics.Ascent = tm.tmAscent;
        FMetrics.Descent = tm.tmDescent;
        FMetrics.UnderlinePosition = 1;
        FMetrics.StrikeOutPosition = tm.tmAscent / 3 + 1;
        const UINT size = GetOutlineTextMetricsW(DC, 0, nullptr);
        if (size == 0) return;
        std::vector<uint8_t> storage(size);
        auto* otm = reinterpret_cast<OUTLINETEXTMETRICW*>(storage.data());
        if (!GetOutlineTextMetricsW(DC, size, otm)) return;
        // The record's strings are byte offsets from its start.
        const auto offset = reinterpret_cast<uintptr_t>(otm->otmpStyleName);
        if (offset > 0 && offset < size) FMetrics.StyleName = win32::Narrow(reinterpret_cast<const wchar_t*>(storage.data() + offset));
        FMetrics.UnderlineThickness = std::max<int32_t>(1, static_cast<int32_t>(otm->otmsUnderscoreSize));
        // The system measures the underline's centre, upward from the baseline.
        FMetrics.UnderlinePosition = std::max<int32_t>(0, -otm->otmsUnderscorePosition - FMetrics.UnderlineThickness / 2);
        FMetrics.StrikeOutThickness = std::max<int32_t>(1, static_cast<int32_t>(otm->otmsStrikeoutSize));
        FMetrics.StrikeOutPosition = otm->otmsStrikeoutPosition;
    }

    HDC DC;
    HFONT Font;
    HGDIOBJ Previous;
    FontFaceMetrics FMetrics;
};

class GdiRasterizer final : public IFontRasterizer {
public:
    std::unique_ptr<IFontFace> OpenFace(const std::string& family, FontFaceStyle style, int32_t pixelHeight) override {
        std::lock_guard<std::mutex> lock(Mutex);
        LOGFONTW lf{};
        // A positive height asks for the cell: ascent plus descent.
        lf.lfHeight = std::max<int32_t>(1, pixelHeight);
        lf.lfWeight = (style & FontBold) ? FW_BOLD : FW_NORMAL;
        lf.lfItalic = (style & FontItalic) ? TRUE : FALSE;
        lf.lfCharSet = DEFAULT_CHARSET;
        lf.lfOutPrecision = OUT_TT_PRECIS;
        lf.lfQuality = ANTIALIASED_QUALITY;
        const std::wstring name = win32::Widen(family).substr(0, LF_FACESIZE - 1);
        std::copy(name.begin(), name.end(), lf.lfFaceName);
        HFONT font = CreateFontIndirectW(&lf);
        if (!font) return nullptr;
        HDC dc = CreateCompatibleDC(nullptr);
        if (!dc) {
            DeleteObject(font);
            return nullptr;
        }
        HGDIOBJ previous = SelectObject(dc, font);
        return std::make_unique<GdiFace>(dc, font, previous);
    }

private:
    std::mutex Mutex;
};

}  // namespace

IFontRasterizer& SystemFontRasterizer() {
    static GdiRasterizer rasterizer;
    return rasterizer;
}

}  // namespace platform
