// One-line edits: typed text goes into the state at once; text the code sets is shown.
#include "platform/scoped_value.h"
#include "platform/wide_text_win.h"
#include "ui/win/win_binder.h"

using namespace platform;

namespace ui::win {

namespace {
class TEditView final : public TWinView<TEdit> {
public:
    TEditView(TEdit& State, const TWinPlace& Place, TEventSink&) : TWinView(State) {
        window_ = MakeChild(L"EDIT", ES_AUTOHSCROLL | WS_TABSTOP, WS_EX_CLIENTEDGE, Place);
    }
    void Detach() override { attached_ = false; }
    void Command(WORD Code) override {
        if (Code != EN_CHANGE || !attached_ || setting_) return;
        const int n = GetWindowTextLengthW(window_);
        std::wstring text(size_t(n) + 1, L'\0');
        text.resize(size_t(GetWindowTextW(window_, text.data(), n + 1)));
        state_.Text = shown_ = Narrow(text);
    }

    void Sync(RECT&, int) override {
        if (shown_ == state_.Text) return;
        {
            const ScopedValue<bool> ours(setting_, true);
            SetWindowTextW(window_, Widen(state_.Text).c_str());
        }
        shown_ = state_.Text;
    }

private:
    bool attached_ = true;
    bool setting_ = false;  // the change is the code's, not the user's
    std::string shown_;     // the text last given to the control
};
}  // namespace

void AddEditBinder(TWinBinders& Binders) { Binders.Add<TEdit, TEditView>(TComponentKind::Edit); }

}  // namespace ui::win
