#include "ui/win/win_glyphs.h"

#include <cmath>

namespace ui::win {

namespace {
// Olive never appears in the pictures, so it can stand for "transparent".
constexpr COLORREF kKey = RGB(128, 128, 0);

struct TCanvas {
    HDC dc;
    int s;
    POINT P(double x, double y) const { return POINT{LONG(std::lround(x * s)), LONG(std::lround(y * s))}; }
    void Polygon(std::initializer_list<POINT> pts, COLORREF fill, COLORREF line) {
        HBRUSH b = CreateSolidBrush(fill);
        HPEN p = CreatePen(PS_SOLID, 1, line);
        HGDIOBJ ob = SelectObject(dc, b), op = SelectObject(dc, p);
        ::Polygon(dc, pts.begin(), int(pts.size()));
        SelectObject(dc, ob), SelectObject(dc, op);
        DeleteObject(b), DeleteObject(p);
    }
    void Lines(std::initializer_list<POINT> pts, COLORREF color, double width) {
        LOGBRUSH lb{BS_SOLID, color, 0};
        HPEN p = ExtCreatePen(PS_GEOMETRIC | PS_SOLID | PS_ENDCAP_ROUND | PS_JOIN_ROUND,
                              DWORD(std::max(1L, std::lround(width * s))), &lb, 0, nullptr);
        HGDIOBJ op = SelectObject(dc, p);
        Polyline(dc, pts.begin(), int(pts.size()));
        SelectObject(dc, op);
        DeleteObject(p);
    }
};

void DrawCross(TCanvas& c) {
    const COLORREF red = RGB(204, 0, 0);
    c.Lines({c.P(0.22, 0.22), c.P(0.78, 0.78)}, red, 1 / 6.0);
    c.Lines({c.P(0.78, 0.22), c.P(0.22, 0.78)}, red, 1 / 6.0);
}

// A white page with a folded corner, and a red arrow pointing right into it.
void DrawArrowIntoPage(TCanvas& c) {
    const COLORREF ink = RGB(64, 64, 64);
    c.Polygon({c.P(0.40, 0.05), c.P(0.70, 0.05), c.P(0.92, 0.27), c.P(0.92, 0.95), c.P(0.40, 0.95)}, RGB(255, 255, 255),
              ink);
    c.Lines({c.P(0.70, 0.05), c.P(0.70, 0.27), c.P(0.92, 0.27)}, ink, 0.04);
    c.Polygon({c.P(0.04, 0.41), c.P(0.36, 0.41), c.P(0.36, 0.26), c.P(0.66, 0.50), c.P(0.36, 0.74), c.P(0.36, 0.59),
               c.P(0.04, 0.59)},
              RGB(204, 0, 0), RGB(153, 0, 0));
}

// An open door in its frame, under a green exit sign.
void DrawDoorUnderSign(TCanvas& c) {
    c.Polygon({c.P(0.10, 0.05), c.P(0.90, 0.05), c.P(0.90, 0.27), c.P(0.10, 0.27)}, RGB(0, 153, 51), RGB(0, 102, 34));
    c.Lines({c.P(0.28, 0.16), c.P(0.72, 0.16)}, RGB(255, 255, 255), 0.06);
    c.Polygon({c.P(0.22, 0.36), c.P(0.78, 0.36), c.P(0.78, 0.95), c.P(0.22, 0.95)}, RGB(40, 40, 40), RGB(96, 64, 32));
    c.Polygon({c.P(0.22, 0.36), c.P(0.52, 0.44), c.P(0.52, 0.99), c.P(0.22, 0.95)}, RGB(176, 120, 64), RGB(96, 64, 32));
}

void DrawCheckMark(TCanvas& c) { c.Lines({c.P(0.16, 0.52), c.P(0.40, 0.76), c.P(0.86, 0.24)}, RGB(0, 153, 0), 0.16); }

// The same picture in grey, lighter than the normal one, as a disabled button shows it.
DWORD Grey(DWORD rgb) {
    const int r = (rgb >> 16) & 0xFF, g = (rgb >> 8) & 0xFF, b = rgb & 0xFF;
    const int lum = (r * 30 + g * 59 + b * 11) / 100;
    const int v = 128 + lum / 2;
    return DWORD(v << 16 | v << 8 | v);
}

constexpr DWORD ToRgb(COLORREF c) { return DWORD(GetRValue(c)) << 16 | DWORD(GetGValue(c)) << 8 | GetBValue(c); }
}  // namespace

std::vector<DWORD> GlyphStrip(TGlyph Glyph, int Size) {
    if (Glyph == TGlyph::None || Size <= 0) return {};
    BITMAPINFO bi{};
    bi.bmiHeader = {sizeof(BITMAPINFOHEADER), Size, -Size, 1, 32, BI_RGB, 0, 0, 0, 0, 0};
    void* bits = nullptr;
    TOwnedDC dc(CreateCompatibleDC(nullptr));
    TOwnedBitmap bmp(CreateDIBSection(dc.get(), &bi, DIB_RGB_COLORS, &bits, nullptr, 0));
    if (!bmp || !bits) return {};
    HGDIOBJ old = SelectObject(dc.get(), bmp.get());
    RECT all{0, 0, Size, Size};
    HBRUSH key = CreateSolidBrush(kKey);
    FillRect(dc.get(), &all, key);
    DeleteObject(key);
    TCanvas c{dc.get(), Size};
    switch (Glyph) {
    case TGlyph::Cross: DrawCross(c); break;
    case TGlyph::ArrowIntoPage: DrawArrowIntoPage(c); break;
    case TGlyph::DoorUnderSign: DrawDoorUnderSign(c); break;
    case TGlyph::CheckMark: DrawCheckMark(c); break;
    case TGlyph::None: break;
    }
    GdiFlush();
    SelectObject(dc.get(), old);
    const auto* px = static_cast<const DWORD*>(bits);
    std::vector<DWORD> strip(size_t(2 * Size * Size));
    for (int y = 0; y < Size; ++y)
        for (int x = 0; x < Size; ++x) {
            const DWORD p = px[y * Size + x] & 0xFFFFFF;
            strip[size_t(y * 2 * Size + x)] = p;
            strip[size_t(y * 2 * Size + Size + x)] = p == ToRgb(kKey) ? p : Grey(p);
        }
    return strip;
}

TOwnedImageList GlyphImages(TGlyph Glyph, int Size) {
    const std::vector<DWORD> strip = GlyphStrip(Glyph, Size);
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
    const COLORREF transparent =
        RGB((strip[size_t((Size - 1) * 2 * Size)] >> 16) & 0xFF, (strip[size_t((Size - 1) * 2 * Size)] >> 8) & 0xFF,
            strip[size_t((Size - 1) * 2 * Size)] & 0xFF);
    TOwnedImageList list(ImageList_Create(Size, Size, ILC_COLOR24 | ILC_MASK, kStates, 0));
    if (list) ImageList_AddMasked(list.get(), bmp.get(), transparent);
    return list;
}

}  // namespace ui::win
