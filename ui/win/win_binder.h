#pragma once
// The Windows binders (ui/binder_registry.h): a view shows a component with a Windows
// control. The form's window (win_form_window) asks the registry for the binder of each
// control's kind.
#include <windows.h>

#include "ui/binder_registry.h"
#include "ui/components.h"

namespace ui::win {

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

using TWinBinders = TBinderRegistry<TWinControlView, const TWinPlace&>;

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
