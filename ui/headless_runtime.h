#pragma once
// The runtime without a window: non-visual mode and tests. Message boxes go to standard
// error and never block; the message pump runs what a test has scheduled, so a click in
// the middle of an update happens at a known point.
#include <functional>
#include <map>
#include <string>
#include <vector>

#include "ui/runtime.h"

namespace ui {

class THeadlessRuntime : public TWindowRuntime {
public:
    void ProcessMessages() override;
    void ProcessMessagesWhileWaiting() override;
    void ShowMessage(const std::string& Text) override;
    void ShowError(const std::string& Text) override;
    bool Confirm(const std::string& Text) override;
    void ShowForm(TForm& Form) override;
    void CloseForm(TForm& Form) override;
    // Runs scheduled actions, then enabled timers, until the form is closed or nothing
    // more can happen (no action left and no enabled timer).
    void RunMessageLoop(TForm& MainForm) override;
    int ShowModal(TForm& Form) override;
    void Repaint(TForm& Form) override;
    void ScrollToCaret(TRichMemo& Memo) override;
    void TimerChanged(TTimer& Timer) override;
    void TimerFreed(TTimer& Timer) override;

    // Scripting: Action runs inside the Nth call of ProcessMessages (counted from 1).
    void AtPump(int N, std::function<void()> Action) { at_pump_[N].push_back(std::move(Action)); }
    // Action runs inside the Nth pump of a wait for a program or a socket (counted from 1).
    void AtWaitPump(int N, std::function<void()> Action) { at_wait_pump_[N].push_back(std::move(Action)); }
    // Runs inside the message loop, in order, before timers fire.
    void InLoop(std::function<void()> Action) { in_loop_.push_back(std::move(Action)); }
    // Answers of the next confirmation boxes, in order; unscripted ones answer DefaultAnswer.
    std::vector<bool> Answers;
    bool DefaultAnswer = false;
    // What a modal form returns, and a hook to fill it in before it "closes".
    std::function<int(TForm&)> OnShowModal;
    bool EchoMessages = true;  // message boxes also go to standard error

    // What happened, for tests.
    int Pumps = 0;
    int WaitPumps = 0;
    int Repaints = 0;
    int ScrollRequests = 0;
    std::vector<std::string> Messages;       // message boxes shown, error boxes among them
    std::vector<std::string> Errors;         // the boxes shown with the error icon
    std::vector<std::string> Confirmations;  // confirmation texts asked

private:
    std::map<int, std::vector<std::function<void()>>> at_pump_, at_wait_pump_;
    std::vector<std::function<void()>> in_loop_;
    std::vector<TTimer*> timers_;
};

}  // namespace ui
