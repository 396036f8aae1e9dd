#include "ui/user_close.h"

namespace ui {

TUserClose RequestUserClose(TForm& Form, bool Modal, TEventSink& Sink, const std::function<void(TForm&)>& Close) {
    if (!Form.CloseBoxOnly && !Form.BorderIcons) return TUserClose::Refused;
    if (Modal) {
        Form.ModalResult = mrCancel;
        return TUserClose::EndsModal;
    }
    TForm* form = &Form;
    Sink.Dispatch([Close, form] { Close(*form); });
    return TUserClose::Closing;
}

}  // namespace ui
