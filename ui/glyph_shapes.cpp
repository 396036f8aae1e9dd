#include "ui/glyph_shapes.h"

namespace ui {

namespace {
using S = TGlyphShape;

const std::vector<S> kCross = {
    {S::Lines, {{0.22, 0.22}, {0.78, 0.78}}, 0, 0xCC0000, 1 / 6.0},
    {S::Lines, {{0.78, 0.22}, {0.22, 0.78}}, 0, 0xCC0000, 1 / 6.0},
};

// A white page with a folded corner, and a red arrow pointing right into it.
const std::vector<S> kArrowIntoPage = {
    {S::Polygon, {{0.40, 0.05}, {0.70, 0.05}, {0.92, 0.27}, {0.92, 0.95}, {0.40, 0.95}}, 0xFFFFFF, 0x404040, 0},
    {S::Lines, {{0.70, 0.05}, {0.70, 0.27}, {0.92, 0.27}}, 0, 0x404040, 0.04},
    {S::Polygon,
     {{0.04, 0.41}, {0.36, 0.41}, {0.36, 0.26}, {0.66, 0.50}, {0.36, 0.74}, {0.36, 0.59}, {0.04, 0.59}},
     0xCC0000,
     0x990000,
     0},
};

// An open door in its frame, under a green exit sign.
const std::vector<S> kDoorUnderSign = {
    {S::Polygon, {{0.10, 0.05}, {0.90, 0.05}, {0.90, 0.27}, {0.10, 0.27}}, 0x009933, 0x006622, 0},
    {S::Lines, {{0.28, 0.16}, {0.72, 0.16}}, 0, 0xFFFFFF, 0.06},
    {S::Polygon, {{0.22, 0.36}, {0.78, 0.36}, {0.78, 0.95}, {0.22, 0.95}}, 0x282828, 0x604020, 0},
    {S::Polygon, {{0.22, 0.36}, {0.52, 0.44}, {0.52, 0.99}, {0.22, 0.95}}, 0xB07840, 0x604020, 0},
};

const std::vector<S> kCheckMark = {
    {S::Lines, {{0.16, 0.52}, {0.40, 0.76}, {0.86, 0.24}}, 0, 0x009900, 0.16},
};

const std::vector<S> kNone;
}  // namespace

const std::vector<TGlyphShape>& GlyphShapes(TGlyph Glyph) {
    switch (Glyph) {
    case TGlyph::Cross: return kCross;
    case TGlyph::ArrowIntoPage: return kArrowIntoPage;
    case TGlyph::DoorUnderSign: return kDoorUnderSign;
    case TGlyph::CheckMark: return kCheckMark;
    case TGlyph::None: break;
    }
    return kNone;
}

TColor GreyedGlyphColor(TColor Color) {
    if (Color == kGlyphTransparent) return Color;
    const TColor r = (Color >> 16) & 0xFF, g = (Color >> 8) & 0xFF, b = Color & 0xFF;
    const TColor v = 128 + (r * 30 + g * 59 + b * 11) / 100 / 2;
    return v << 16 | v << 8 | v;
}

std::vector<TColor> GlyphStripOf(const std::vector<TColor>& Picture, int Size) {
    if (Size <= 0 || Picture.size() != size_t(Size) * size_t(Size)) return {};
    const size_t s = size_t(Size);
    std::vector<TColor> strip(2 * s * s);
    for (size_t y = 0; y < s; ++y)
        for (size_t x = 0; x < s; ++x) {
            const TColor p = Picture[y * s + x] & 0xFFFFFF;
            strip[y * 2 * s + x] = p;
            strip[y * 2 * s + s + x] = GreyedGlyphColor(p);
        }
    strip[(s - 1) * 2 * s] = strip[(s - 1) * 2 * s + s] = kGlyphTransparent;
    return strip;
}

}  // namespace ui
