#pragma once
// The buttons' pictures (ui/glyph_shapes.h) drawn by Qt. A glyph is a strip of two square
// pictures side by side, the normal one and a grey one for the disabled state; the colour of
// its lower-left pixel counts as transparent.
#include <QIcon>
#include <QImage>

#include "ui/components.h"

namespace ui::qt {

// The strip for Glyph at Size x Size per picture (2*Size x Size); a null image for None.
QImage GlyphStrip(TGlyph Glyph, int Size);
// The strip cut into an icon: the left picture for the normal state, the right one for the
// disabled state, with the transparent colour removed.
QIcon GlyphIcon(TGlyph Glyph, int Size);

}  // namespace ui::qt
