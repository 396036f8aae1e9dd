#pragma once
// One binder per component kind: it makes the Windows control that shows a component,
// copies the component's state to it, and hands what the user does back to the state. The
// form's window (win_form_window) asks the registry for the binder of each control's kind;
// a new kind of control needs only a new binder and one line in AddStandardBinders.
#include <windows.h>

#include <functional>
#include <map>
#include <memory>

#include "ui/components.h"

namespace ui::win {

// What a binder may ask of the runtime.
class TWinEventSink {
public:
    virtual ~TWinEventSink() = default;
    // Runs Action as an event of the window system: errors go to the application's
    // exception event, and the state is shown after.
    virtual void Dispatch(const std::function<void()>& Action) = 0;
};

// Calls Handler through Sink when there is one; the handler may replace itself meanwhile.
void CallHandler(TWinEventSink& Sink, const std::function<void()>& Handler);

// Where a view is made: its parent window and the scale of the form.
struct TWinPlace {
    HWND Parent;
    int Dpi;
};

class TWinControlView {
public:
    virtual ~TWinControlView() = default;
    virtual HWND Window() const = 0;
    // Copies the state to the control. Geometry is where the control goes, in layout pixels;
    // a binder may widen it (a label that sizes itself to its text).
    virtual void Sync(RECT& Geometry, int Dpi) = 0;
    // The form is going away: nothing the control does may reach the state any more.
    virtual void Detach() {}
    // Brings the control's insertion point into view (the memo's caret).
    virtual void ScrollIntoView() {}
    // The button this view shows, for Enter on a focused button and for accelerators.
    virtual TButton* Button() { return nullptr; }
    // A notification the control sent its parent (WM_COMMAND's code).
    virtual void Command(WORD /*Code*/) {}
    // Draws an owner-drawn control; false when the view draws nothing itself.
    virtual bool Draw(const DRAWITEMSTRUCT&) { return false; }
    // The colours of a control that asks its parent for them (WM_CTLCOLOR...); nullptr
    // leaves them to the system.
    virtual HBRUSH Colors(HDC) { return nullptr; }
};

// A binder's view of one control of type TState shown by a window.
template <class TState>
class TWinView : public TWinControlView {
public:
    explicit TWinView(TState& State) : state_(State) {}
    HWND Window() const override { return window_; }

protected:
    TState& state_;
    HWND window_ = nullptr;  // destroyed with its parent window
};

class TWinBinders {
public:
    using Factory = std::function<std::unique_ptr<TWinControlView>(TControl&, const TWinPlace&, TWinEventSink&)>;
    // Binds controls of Kind with TView, made as TView(TState&, const TWinPlace&, TWinEventSink&).
    template <class TState, class TView>
    void Add(TComponentKind Kind) {
        factories_[Kind] = [](TControl& c, const TWinPlace& p, TWinEventSink& s) -> std::unique_ptr<TWinControlView> {
            // The registry is keyed by kind, so the control is of the type registered.
            return std::make_unique<TView>(static_cast<TState&>(c), p, s);
        };
    }
    // The view of Control, or nullptr for a kind no binder shows.
    std::unique_ptr<TWinControlView> Make(TControl& Control, const TWinPlace& Place, TWinEventSink& Sink) const;

private:
    std::map<TComponentKind, Factory> factories_;
};

void AddPanelAndLabelBinders(TWinBinders& Binders);
void AddIndicatorBinders(TWinBinders& Binders);
void AddButtonBinder(TWinBinders& Binders);
void AddEditBinder(TWinBinders& Binders);
void AddMemoBinder(TWinBinders& Binders);
// Panels, labels, buttons, progress bars, memos, edits and the busy indicator.
void AddStandardBinders(TWinBinders& Binders);
const TWinBinders& Binders();

// A child control of Place.Parent; Class is a system class or one of this runtime's.
HWND MakeChild(const wchar_t* Class, DWORD Style, DWORD ExStyle, const TWinPlace& Place);
// The window class of panels (and of forms): a plain container that paints its colour and
// hands its children's notifications to the form.
extern const wchar_t* const kPanelClass;
extern const wchar_t* const kFormClass;
// What a container window paints: its colour, and a panel's lowered frame.
void SetContainerLook(HWND Container, TColor Color, bool LoweredFrame);

}  // namespace ui::win
