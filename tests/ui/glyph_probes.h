#pragma once
// The pixels of a button's picture that every window runtime must show alike: those well
// inside one of the shared shapes (or well outside them all), where neither antialiasing nor
// rounding to whole pixels can change the colour.
#include <functional>
#include <string>
#include <vector>

#include "ui/components.h"

namespace ui::probes {

struct TGlyphProbe {
    int X, Y;
    TColor Color;  // of the normal picture
    int Shape;     // the index of the shape that gives it, -1 for the transparent colour
};
// The probes of Glyph drawn at Size pixels.
std::vector<TGlyphProbe> GlyphProbes(TGlyph Glyph, int Size);

// Checks a runtime's strip (Pixel(x, y) as 0xRRGGBB, the strip 2*Size x Size) against the
// shapes: each probe in its colour on the left, in the shared grey on the right. With
// EveryShape, each polygon and each line wide enough at Size must have probes of its own.
void ExpectStripFollowsShapes(TGlyph Glyph, int Size, const std::function<TColor(int X, int Y)>& Pixel,
                              bool EveryShape);

}  // namespace ui::probes
