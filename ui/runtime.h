#pragma once
// What the forms need of a window system. The headless runtime (non-visual mode and tests: no
// window, message boxes on standard error, a scriptable message pump) and, for visual mode,
// the Qt window on Linux and Windows' own window.
#include <exception>
#include <functional>
#include <string>

namespace ui {

class TButton;
class TForm;
class TRichMemo;
class TTimer;

class TWindowRuntime {
public:
    virtual ~TWindowRuntime() = default;
    // Lets pending window messages run: clicks, timers, repaints.
    virtual void ProcessMessages() = 0;
    // Lets pending window messages run while the thread waits for a program or a socket.
    virtual void ProcessMessagesWhileWaiting() { ProcessMessages(); }
    // A modal box with Text and one OK button; Caption is the application title.
    virtual void ShowMessage(const std::string& Text) = 0;
    // The same box with the error icon, for an error that ended an update.
    virtual void ShowError(const std::string& Text) { ShowMessage(Text); }
    // The "Confirm" box with "&Yes" and "&No", question icon, centred; true for Yes.
    virtual bool Confirm(const std::string& Text) = 0;
    virtual void ShowForm(TForm& Form) = 0;
    virtual void CloseForm(TForm& Form) = 0;
    // Runs the message loop until MainForm has been closed.
    virtual void RunMessageLoop(TForm& MainForm) = 0;
    virtual int ShowModal(TForm& Form) = 0;
    virtual void Repaint(TForm& Form) = 0;
    // Scrolls the memo until its caret is in view.
    virtual void ScrollToCaret(TRichMemo& Memo) = 0;
    // A timer's Enabled or Interval changed.
    virtual void TimerChanged(TTimer& Timer) = 0;
    // A timer is being freed: nothing may reach it any more.
    virtual void TimerFreed(TTimer&) {}
};

// The runtime in force: the headless one unless another was installed.
TWindowRuntime& Runtime();
// Installs Runtime (not owned); nullptr restores the default headless runtime.
void SetRuntime(TWindowRuntime* Runtime);

// Visual mode needs a window system. The program entry registers how to make its runtime;
// EnterVisualMode installs it the first time it is called (without a factory, as in the
// tests, the headless runtime stays).
void SetVisualRuntimeFactory(TWindowRuntime* (*Factory)());
void EnterVisualMode();

// The one line a visual start gives when no window can be shown, with Reason (the missing
// display, module or library) and how to run unattended instead.
std::string NoWindowText(const std::string& Reason);

// Delivers an exception that escaped an event handler to the application-wide exception
// event (Application().Events); rethrows when nobody handles it, so call it only from
// inside a catch block.
void HandleApplicationException(const std::exception& E);

// Runs Handler for a window system that lets no exception through its loop: an exception goes
// to the application's exception event, and one that event does not handle (or raises itself)
// ends in Unhandled with its text ("Unknown error" when it has none).
void RunContained(const std::function<void()>& Handler, const std::function<void(const std::string&)>& Unhandled);

// A click as the window system delivers it: only a visible, enabled button reacts, and a
// modal form takes the button's result first.
void PressButton(TButton& Button);

}  // namespace ui
