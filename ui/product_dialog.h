#pragma once
// The product's variant of the updater dialog: the engine layout with its own caption,
// size and fonts, and three more components. The product form owns the extras and applies
// the layout once, in its constructor; the behaviour of the extras is the product form's.
#include "ui/engine_dialog.h"

namespace ui {

struct TProductDialogExtras {
    // Made on Form, which owns them; in the order the product form declares them.
    explicit TProductDialogExtras(TEngineDialog& Form);

    TTimer ProceedTimer;   // presses Proceed once the window is shown
    TLabel MoreInfoLabel;  // the "Upgrade Information" link
    TAnimate Animate1;     // the busy indicator in the title panel
};

// Gives Form the product layout and the extras their places and starting state.
void ApplyProductLayout(TEngineDialog& Form, TProductDialogExtras& Extras);

}  // namespace ui
