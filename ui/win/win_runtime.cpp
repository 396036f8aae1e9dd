#include "ui/win/win_runtime.h"

#include <windows.h>

#include <commctrl.h>

#include <vector>

#include "platform/scoped_value.h"
#include "ui/components.h"
#include "ui/form_registry.h"
#include "ui/win/win_form_window.h"
#include "ui/win/win_style.h"
#include "ui/win/win_timers.h"

using namespace platform;

namespace ui::win {

struct TWinRuntime::State : TFormRegistry<TWinFormBinding>, TEventSink {
    explicit State(TWinRuntime& owner) : self(owner), timers(*this) {}
    void Dispatch(const std::function<void()>& Action) override { self.Dispatch(Action); }

    TWinRuntime& self;
    // Windows of forms that left the screen while one of their own messages may still be
    // running; destroyed once no handler runs.
    std::vector<std::unique_ptr<TWinFormBinding>> graveyard;
    TWinTimers timers;
    int depth = 0;  // handlers running, nested
    bool syncing = false;

    TWinFormBinding& Bind(TForm& f, bool modal) {
        if (TWinFormBinding* b = Find(f)) return *b;
        TWinFormBinding::Hooks hooks{[this](TForm& form) { self.CloseForm(form); }, [this] { SyncAll(); }};
        auto& b = forms[&f] = std::make_unique<TWinFormBinding>(f, modal, OwnerWindowOf(f), *this, std::move(hooks));
        for (TComponent* c : f.Components)
            if (c->Kind() == TComponentKind::Timer) timers.Changed(static_cast<TTimer&>(*c));
        return *b;
    }

    void Unbind(const TForm& f) {
        std::unique_ptr<TWinFormBinding> b = Take(f);
        if (!b) return;
        b->Detach();  // no click or edit reaches the state any more
        graveyard.push_back(std::move(b));
        timers.DropOwnedBy(&f);
        Bury();
    }

    void Bury() {
        if (depth == 0) graveyard.clear();
    }

    void SyncAll() {
        if (syncing) return;
        const ScopedValue<bool> busy(syncing, true);
        for (auto& [form, b] : forms) b->Sync();
        timers.Sync();
    }

    // One message, as the form it is for wants it: its keys first, then the dialog manager's
    // Tab and arrow keys, then the window's own procedure.
    void Pump(MSG& m) {
        if (TWinFormBinding* b = TWinFormBinding::Of(m.hwnd)) {
            if (b->Key(m)) return;
            if (IsDialogMessageW(b->Window(), &m)) return;
        }
        TranslateMessage(&m);
        DispatchMessageW(&m);
    }

    // Waits for and pumps one message; false once the application is asked to quit (the
    // request stays for the outer loops).
    bool WaitAndPump() {
        MSG m;
        const BOOL got = GetMessageW(&m, nullptr, 0, 0);
        if (got <= 0) {
            if (got == 0) PostQuitMessage(int(m.wParam));
            return false;
        }
        Pump(m);
        Bury();
        return true;
    }
};

TWinRuntime::TWinRuntime() {
    BecomeDpiAware();
    INITCOMMONCONTROLSEX icc{sizeof icc,
                             ICC_STANDARD_CLASSES | ICC_PROGRESS_CLASS | ICC_ANIMATE_CLASS | ICC_WIN95_CLASSES};
    InitCommonControlsEx(&icc);
    RegisterContainerClasses();
    state_ = std::make_unique<State>(*this);
}

TWinRuntime::~TWinRuntime() {
    while (!state_->forms.empty()) state_->Unbind(*state_->forms.begin()->first);
    state_->graveyard.clear();
}

void TWinRuntime::Dispatch(const std::function<void()>& Action) {
    {
        const ScopedValue<int> nested(state_->depth, state_->depth + 1);
        // Nothing may pass through the window system: it ends here, as the application object
        // of the window system would end it.
        RunContained(Action, [this](const std::string& Message) { ReportUnhandled(Message); });
    }
    state_->SyncAll();
}

void TWinRuntime::Sync() { state_->SyncAll(); }

void TWinRuntime::Forget(TForm& Form) { state_->Unbind(Form); }

TWinHandle TWinRuntime::WindowOf(const TForm& Form) const {
    TWinFormBinding* b = state_->Find(Form);
    return b ? b->Window() : nullptr;
}

TWinHandle TWinRuntime::WindowOf(const TControl& Control) const {
    if (Control.Kind() == TComponentKind::Form) return WindowOf(static_cast<const TForm&>(Control));
    TWinControlView* v = state_->ViewOf(Control);
    return v ? v->Window() : nullptr;
}

int TWinRuntime::DpiOf(const TForm& Form) const {
    TWinFormBinding* b = state_->Find(Form);
    return b ? b->Dpi() : 96;
}

void TWinRuntime::ProcessMessages() {
    state_->SyncAll();
    MSG m;
    while (PeekMessageW(&m, nullptr, 0, 0, PM_REMOVE)) {
        if (m.message == WM_QUIT) {
            PostQuitMessage(int(m.wParam));  // for the message loop to see
            break;
        }
        state_->Pump(m);
    }
    state_->Bury();
}

void TWinRuntime::ShowForm(TForm& Form) {
    TWinFormBinding& b = state_->Bind(Form, false);
    Form.Showing = true;
    state_->SyncAll();
    b.Position(Form.Position == TFormPosition::OwnerFormCenter ? state_->OwnerWindowOf(Form) : nullptr);
    ShowWindow(b.Window(), SW_SHOW);
    UpdateWindow(b.Window());
}

void TWinRuntime::CloseForm(TForm& Form) {
    Form.Showing = false;
    TWinFormBinding* b = state_->Find(Form);
    if (!b) return;
    if (b->Modal()) {
        if (Form.ModalResult == 0) Form.ModalResult = mrCancel;
        return;  // its modal loop ends and lets the window go
    }
    state_->Unbind(Form);
}

void TWinRuntime::RunMessageLoop(TForm& MainForm) {
    if (!MainForm.Showing) return;
    state_->SyncAll();
    while (MainForm.Showing && state_->Find(MainForm))
        if (!state_->WaitAndPump()) break;
}

int TWinRuntime::ShowModal(TForm& Form) {
    state_->Unbind(Form);  // a form shown modelessly before is made anew as a dialog
    TWinFormBinding& b = state_->Bind(Form, true);
    HWND window = b.Window();
    Form.ModalResult = 0;
    Form.Showing = true;
    state_->SyncAll();
    b.Position(Form.Position == TFormPosition::OwnerFormCenter ? state_->OwnerWindowOf(Form) : nullptr);
    // Every other window of the program waits for the answer.
    std::vector<HWND> disabled;
    for (auto& [form, other] : state_->forms)
        if (other.get() != &b && IsWindowEnabled(other->Window())) {
            EnableWindow(other->Window(), FALSE);
            disabled.push_back(other->Window());
        }
    ShowWindow(window, SW_SHOW);
    SetForegroundWindow(window);
    if (HWND first = GetNextDlgTabItem(window, nullptr, FALSE)) SetFocus(first);
    while (Form.ModalResult == 0 && state_->Find(Form))
        if (!state_->WaitAndPump()) break;
    // The owner is enabled before the dialog goes, so the activation returns to it.
    for (HWND w : disabled) EnableWindow(w, TRUE);
    if (Form.ModalResult == 0) Form.ModalResult = mrCancel;
    Form.Showing = false;
    const int result = Form.ModalResult;
    state_->Unbind(Form);
    return result;
}

void TWinRuntime::Repaint(TForm& Form) {
    TWinFormBinding* b = state_->Find(Form);
    if (!b) return;
    state_->SyncAll();
    b->Repaint();
}

void TWinRuntime::ScrollToCaret(TRichMemo& Memo) {
    if (TWinControlView* v = state_->ViewOf(Memo)) v->ScrollIntoView();
}

void TWinRuntime::TimerChanged(TTimer& Timer) { state_->timers.Changed(Timer); }
void TWinRuntime::TimerFreed(TTimer& Timer) { state_->timers.Freed(Timer); }

}  // namespace ui::win
