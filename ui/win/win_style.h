#pragma once
// Fonts, colours and scale of the component state as Windows shows them. Fonts and brushes
// are made once per kind and kept to the end of the process; the controls only borrow them.
#include <windows.h>

#include "ui/components.h"

namespace ui::win {

// System colours are the system's own (the state's system colours carry the GetSysColor
// index); others are plain RGB.
COLORREF ResolveColor(TColor Color);
HBRUSH BrushOf(TColor Color);
// The font at its character height in pixels at 96 dots per inch, scaled to Dpi.
HFONT FontOf(const TFont& Font, int Dpi);

// Layout pixels (96 dots per inch) at Dpi, rounded to the nearest pixel, and back.
int Scale(int Pixels, int Dpi);
int Unscale(int Pixels, int Dpi);

// The dots per inch of Window's monitor (96 where the system cannot say).
int DpiOfWindow(HWND Window);
// The outer rectangle of a window with this client rectangle, styles and scale.
RECT OuterRect(RECT Client, DWORD Style, DWORD ExStyle, int Dpi);
// Declares the process aware of each monitor's scale, when no manifest did already.
void BecomeDpiAware();

}  // namespace ui::win
