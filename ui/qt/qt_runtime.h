#pragma once
// The window system's runtime: real Qt widgets for the component state, the message loop,
// message boxes and timers. Only visual mode makes one (the updater loads it with the window
// module), so non-visual runs never open a display.
//
// The state has no change notification, so it is copied to the widgets at fixed points:
// after every handler this runtime dispatches, in ProcessMessages, Repaint and
// ScrollToCaret, and before a message box. What the user does goes back at once: typed
// text into TEdit::Text, clicks through TButton::Click.
#include <functional>
#include <memory>

#include "ui/qt/qt_binder.h"
#include "ui/runtime.h"

class QAbstractButton;
class QMessageBox;
class QWidget;
namespace ui::qt {

class TQtRuntime : public TWindowRuntime, public TEventSink {
public:
    // Uses the running Qt application, or makes one from argc/argv and keeps it.
    TQtRuntime(int& argc, char** argv);
    ~TQtRuntime() override;
    TQtRuntime(const TQtRuntime&) = delete;
    TQtRuntime& operator=(const TQtRuntime&) = delete;

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
    // to the application's exception event (never through Qt), and the state is shown after.
    void Dispatch(const std::function<void()>& Action) override;
    // Copies the state of every form on screen to its widgets.
    void Sync();
    // Drops the widgets and timers of a form that is about to be destroyed while shown.
    // (Closing a form does the same.) A timer is known until its owner form is dropped, so
    // it must live as long as that form.
    void Forget(TForm& Form);

    // The widgets that show a form or a control; nullptr when not on screen.
    QWidget* WindowOf(const TForm& Form) const;
    QWidget* WidgetOf(const TControl& Control) const;

    // Instead of running a message box, hands it over and presses the button returned
    // (nullptr: the box is dismissed with Esc). For tests.
    std::function<QAbstractButton*(QMessageBox&)> OnMessageBox;

protected:
    // Hooks for a runtime that drives the window by itself (pictures for people).
    // A message box is about to run (not called when OnMessageBox answers it).
    virtual void BoxShowing(QMessageBox&) {}
    // Form is about to run as a modal dialog.
    virtual void ModalShowing(TForm&) {}
    // The main message loop is about to run for MainForm.
    virtual void LoopStarting(TForm&) {}
    // Form has been repainted, for the Count-th time; MainLoop tells the main loop's form.
    virtual void Repainted(TForm&, int /*Count*/, bool /*MainLoop*/) {}

private:
    QAbstractButton* RunBox(QMessageBox& Box);
    void ReportUnhandled(const std::string& Message);

    struct State;
    std::unique_ptr<State> state_;
};

}  // namespace ui::qt
