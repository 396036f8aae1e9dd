#pragma once
// The buttons' pictures, the same on every window runtime: each glyph is a list of shapes in
// the picture's own units (0 to 1 from the top left), drawn in order, a later one over an
// earlier one. A runtime only draws the shapes onto one picture; the strip of the normal and
// the disabled picture, and the colour that counts as transparent, are made here.
#include <cstdint>
#include <vector>

#include "ui/components.h"

namespace ui {

struct TGlyphPoint {
    double X, Y;
};

struct TGlyphShape {
    enum TKind { Polygon, Lines } Kind;
    std::vector<TGlyphPoint> Points;
    TColor Fill;   // a polygon's inside
    TColor Line;   // a polygon's one-pixel outline, or the lines' colour
    double Width;  // the lines' width in the picture's units (round ends and joins)
};

// The shapes of Glyph; none for TGlyph::None.
const std::vector<TGlyphShape>& GlyphShapes(TGlyph Glyph);

// Olive never appears in the pictures, so it stands for "transparent".
constexpr TColor kGlyphTransparent = 0x808000;
// A pixel of the disabled picture: the normal one's in grey, lighter.
TColor GreyedGlyphColor(TColor Color);
// The strip of a button: Picture (Size x Size pixels 0xRRGGBB, rows from the top,
// kGlyphTransparent where nothing is drawn) and beside it the disabled picture; 2*Size x Size
// pixels, rows from the top. The lower-left pixel of each picture is the transparent colour.
std::vector<TColor> GlyphStripOf(const std::vector<TColor>& Picture, int Size);

}  // namespace ui
