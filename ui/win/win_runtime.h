#pragma once
// The window system's runtime on Windows: Windows' own controls for the component state,
// the message loop, message boxes and timers. Only visual mode makes one, so non-visual
// runs never create a window.
//
// The state has no change notification, so it is copied to the controls at fixed points:
// after every handler this runtime dispatches, in ProcessMessages, Repaint and
// ScrollToCaret, and before a message box. What the user does goes back at once: typed
// text into TEdit::Text, clicks through TButton::Click.
#include <functional>
#include <memory>

#include "ui/runtime.h"

// The window handle type as windows.h declares it, so this header needs no OS header.
struct HWND__;

namespace ui {
class TControl;
}  // namespace ui

namespace ui::win {

using TWinHandle = HWND__*;

class TWinRuntime : public TWindowRuntime {
public:
    // Makes the process aware of each monitor's dots per inch (unless its manifest did) and
    // registers the window classes.
    TWinRuntime();
    ~TWinRuntime() override;
    TWinRuntime(const TWinRuntime&) = delete;
    TWinRuntime& operator=(const TWinRuntime&) = delete;

    void ProcessMessages() override;
    void ShowMessage(const std::string& Text) override;
    void ShowError(const std::string& Text) override;
    bool Confirm(const std::string& Text) override;
    void ShowForm(TForm& Form) override;
    void CloseForm(TForm& Form) override;
    void RunMessageLoop(TForm& MainForm) override;
    int ShowModal(TForm& Form) override;
    void Repaint(TForm& Form) override;
    void ScrollToCaret(TRichMemo& Memo) override;
    void TimerChanged(TTimer& Timer) override;
    void TimerFreed(TTimer& Timer) override;

    // Runs Action as an event of the window system does: an exception that escapes it goes
    // to the application's exception event (never through the window system), and the state
    // is shown after.
    void Dispatch(const std::function<void()>& Action);
    // Copies the state of every form on screen to its controls.
    void Sync();
    // Drops the windows and timers of a form that is about to be destroyed while shown.
    void Forget(TForm& Form);

    // The windows that show a form or a control; nullptr when not on screen.
    TWinHandle WindowOf(const TForm& Form) const;
    TWinHandle WindowOf(const TControl& Control) const;
    // The scale of Form's window: its monitor's dots per inch (96 is 100 %).
    int DpiOf(const TForm& Form) const;

    struct State;

private:
    void ReportUnhandled(const std::string& Message);
    std::unique_ptr<State> state_;
};

}  // namespace ui::win
