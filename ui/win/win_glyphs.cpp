#include "ui/win/win_glyphs.h"

#include <algorithm>
#include <cmath>

#include "ui/glyph_shapes.h"

namespace ui::win {

namespace {
COLORREF Ref(TColor c) { return RGB((c >> 16) & 0xFF, (c >> 8) & 0xFF, c & 0xFF); }

// GDI's pens and brushes for the shapes, at Size pixels per unit.
struct TCanvas {
    HDC dc;
    int s;
    std::vector<POINT> Points(const TGlyphShape& shape) const {
        std::vector<POINT> pts;
        for (const TGlyphPoint& p : shape.Points)
            pts.push_back(POINT{LONG(std::lround(p.X * s)), LONG(std::lround(p.Y * s))});
        return pts;
    }
    void Polygon(const TGlyphShape& shape) {
        const std::vector<POINT> pts = Points(shape);
        HBRUSH b = CreateSolidBrush(Ref(shape.Fill));
        HPEN p = CreatePen(PS_SOLID, 1, Ref(shape.Line));
        HGDIOBJ ob = SelectObject(dc, b), op = SelectObject(dc, p);
        ::Polygon(dc, pts.data(), int(pts.size()));
        SelectObject(dc, ob), SelectObject(dc, op);
        DeleteObject(b), DeleteObject(p);
    }
    void Lines(const TGlyphShape& shape) {
        const std::vector<POINT> pts = Points(shape);
        LOGBRUSH lb{BS_SOLID, Ref(shape.Line), 0};
        HPEN p = ExtCreatePen(PS_GEOMETRIC | PS_SOLID | PS_ENDCAP_ROUND | PS_JOIN_ROUND,
                              DWORD(std::max(1L, std::lround(shape.Width * s))), &lb, 0, nullptr);
        HGDIOBJ op = SelectObject(dc, p);
        Polyline(dc, pts.data(), int(pts.size()));
        SelectObject(dc, op);
        DeleteObject(p);
    }
};
}  // namespace

std::vector<TColor> GlyphStrip(TGlyph Glyph, int Size) {
    if (Glyph == TGlyph::None || Size <= 0) return {};
    BITMAPINFO bi{};
    bi.bmiHeader = {sizeof(BITMAPINFOHEADER), Size, -Size, 1, 32, BI_RGB, 0, 0, 0, 0, 0};
    void* bits = nullptr;
    TOwnedDC dc(CreateCompatibleDC(nullptr));
    TOwnedBitmap bmp(CreateDIBSection(dc.get(), &bi, DIB_RGB_COLORS, &bits, nullptr, 0));
    if (!bmp || !bits) return {};
    HGDIOBJ old = SelectObject(dc.get(), bmp.get());
    RECT all{0, 0, Size, Size};
    HBRUSH key = CreateSolidBrush(Ref(kGlyphTransparent));
    FillRect(dc.get(), &all, key);
    DeleteObject(key);
    TCanvas c{dc.get(), Size};
    for (const TGlyphShape& shape : GlyphShapes(Glyph))
        shape.Kind == TGlyphShape::Polygon ? c.Polygon(shape) : c.Lines(shape);
    GdiFlush();
    SelectObject(dc.get(), old);
    // A 32-bit DIB holds 0x00RRGGBB, as the strip does.
    const auto* px = static_cast<const DWORD*>(bits);
    return GlyphStripOf(std::vector<TColor>(px, px + size_t(Size) * size_t(Size)), Size);
}

TOwnedImageList GlyphImages(TGlyph Glyph, int Size) {
    const std::vector<TColor> strip = GlyphStrip(Glyph, Size);
    if (strip.empty()) return {};
    // Normal, hot, pressed, disabled, defaulted, stylus hot: the order of the button states.
    constexpr int kStates = 6, kGreyState = 3;
    const int width = kStates * Size;
    BITMAPINFO bi{};
    bi.bmiHeader = {sizeof(BITMAPINFOHEADER), width, -Size, 1, 32, BI_RGB, 0, 0, 0, 0, 0};
    void* bits = nullptr;
    TOwnedBitmap bmp(CreateDIBSection(nullptr, &bi, DIB_RGB_COLORS, &bits, nullptr, 0));
    if (!bmp || !bits) return {};
    auto* px = static_cast<DWORD*>(bits);
    for (int state = 0; state < kStates; ++state)
        for (int y = 0; y < Size; ++y)
            for (int x = 0; x < Size; ++x)
                px[y * width + state * Size + x] = strip[size_t(y * 2 * Size + (state == kGreyState ? Size : 0) + x)];
    const COLORREF transparent = Ref(strip[size_t((Size - 1) * 2 * Size)]);
    TOwnedImageList list(ImageList_Create(Size, Size, ILC_COLOR24 | ILC_MASK, kStates, 0));
    if (list) ImageList_AddMasked(list.get(), bmp.get(), transparent);
    return list;
}

}  // namespace ui::win
