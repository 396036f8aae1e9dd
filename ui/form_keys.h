#pragma once
// The keys a form answers itself, before its controls see them, alike on every window
// runtime; each runtime only tells which key came.
#include <string>

#include "ui/components.h"

namespace ui {

enum class TFormKey { Escape, Enter };

// The button Key presses on Form: Esc the cancel button; Enter the button that has the focus
// (Focused; nullptr when no button has it), else the default button. nullptr for none.
TButton* ButtonForKey(TForm& Form, TFormKey Key, TButton* Focused);

// The letter a caption's accelerator mark underlines ("&Close": C), in upper case; 0 when the
// caption has none ("&&" shows an ampersand).
char32_t AcceleratorOf(const std::string& Caption);
// The button Alt with Letter presses: a visible, enabled button of Form whose accelerator
// Letter is, in either case. nullptr for none.
TButton* ButtonForAccelerator(TForm& Form, char32_t Letter);

}  // namespace ui
