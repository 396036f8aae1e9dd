#pragma once
// A close the user asks for from the title bar (its close box, Alt+F4), alike on every window
// runtime; each runtime only tells that it came and ends a modal loop as its toolkit does.
#include <functional>

#include "ui/binder_registry.h"
#include "ui/components.h"

namespace ui {

enum class TUserClose {
    Refused,    // a form without a close box stays
    EndsModal,  // a modal form: its ModalResult is now mrCancel, its loop is to end
    Closing     // any other: Close runs for it as an event, through the sink
};
TUserClose RequestUserClose(TForm& Form, bool Modal, TEventSink& Sink, const std::function<void(TForm&)>& Close);

}  // namespace ui
