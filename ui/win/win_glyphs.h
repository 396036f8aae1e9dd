#pragma once
// The buttons' pictures (ui/glyph_shapes.h) drawn with GDI. A glyph is a strip of square
// pictures side by side, the normal one and a grey one for the disabled state; the colour of
// its lower-left pixel counts as transparent.
#include <windows.h>

#include <vector>

#include "ui/components.h"
#include "ui/win/win_handles.h"

namespace ui::win {

// The strip for Glyph at Size x Size per picture: 2*Size x Size pixels, 0x00RRGGBB, rows from
// the top. Empty for TGlyph::None.
std::vector<TColor> GlyphStrip(TGlyph Glyph, int Size);
// The pictures as a button's image list, one per button state (normal, hot, pressed,
// disabled, defaulted, stylus hot): the grey picture for the disabled state, the normal one
// for the others, with the transparent colour masked out. Null for TGlyph::None.
TOwnedImageList GlyphImages(TGlyph Glyph, int Size);

}  // namespace ui::win
