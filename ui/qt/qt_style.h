#pragma once
// Fonts and colours of the component state as Qt shows them.
#include <QColor>
#include <QFont>
#include <string>

#include "ui/components.h"

namespace ui::qt {

// The family the window uses for a named font: the font itself when installed, otherwise
// the closest sans-serif family at hand (the layouts name Windows fonts).
QString ResolveFamily(const std::string& Name);
// The font at its pixel height (the layouts give heights in pixels at 96 dots per inch).
QFont ResolveFont(const TFont& Font);
// System colours follow the application's palette; others are plain RGB.
QColor ResolveColor(TColor Color);
// A caption without its accelerator marks: "&&" is "&", a single "&" disappears.
QString PlainCaption(const std::string& Caption);

}  // namespace ui::qt
