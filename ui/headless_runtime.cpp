#include "ui/headless_runtime.h"

#include <algorithm>
#include <cstdio>

#include "ui/application.h"
#include "ui/components.h"

namespace ui {

namespace {
// An exception escaping a scripted click goes where a real one would: to the
// application's exception event.
void Dispatch(const std::function<void()>& action) {
    try {
        action();
    } catch (const std::exception& e) {
        HandleApplicationException(e);
    }
}
}  // namespace

namespace {
void RunScheduled(std::map<int, std::vector<std::function<void()>>>& Schedule, int N) {
    auto it = Schedule.find(N);
    if (it == Schedule.end()) return;
    auto actions = std::move(it->second);
    Schedule.erase(it);
    for (auto& a : actions) Dispatch(a);
}
}  // namespace

void THeadlessRuntime::ProcessMessages() { RunScheduled(at_pump_, ++Pumps); }

void THeadlessRuntime::ProcessMessagesWhileWaiting() { RunScheduled(at_wait_pump_, ++WaitPumps); }

void THeadlessRuntime::ShowMessage(const std::string& Text) {
    Messages.push_back(Text);
    if (EchoMessages) std::fprintf(stderr, "%s\n", Text.c_str());
}

void THeadlessRuntime::ShowError(const std::string& Text) {
    Errors.push_back(Text);
    ShowMessage(Text);
}

bool THeadlessRuntime::Confirm(const std::string& Text) {
    Confirmations.push_back(Text);
    if (Answers.empty()) return DefaultAnswer;
    const bool answer = Answers.front();
    Answers.erase(Answers.begin());
    return answer;
}

void THeadlessRuntime::ShowForm(TForm& Form) { Form.Showing = true; }
void THeadlessRuntime::CloseForm(TForm& Form) { Form.Showing = false; }

void THeadlessRuntime::RunMessageLoop(TForm& MainForm) {
    while (MainForm.Showing) {
        if (!in_loop_.empty()) {
            auto action = std::move(in_loop_.front());
            in_loop_.erase(in_loop_.begin());
            Dispatch(action);
            continue;
        }
        TTimer* due = nullptr;
        for (TTimer* t : timers_)
            if (t->Enabled && t->OnTimer) {
                due = t;
                break;
            }
        if (!due) return;  // nothing can happen any more
        Dispatch(due->OnTimer);
    }
}

int THeadlessRuntime::ShowModal(TForm& Form) {
    Form.Showing = true;
    Form.ModalResult = OnShowModal ? OnShowModal(Form) : 0;
    Form.Showing = false;
    return Form.ModalResult;
}

void THeadlessRuntime::Repaint(TForm&) { ++Repaints; }
void THeadlessRuntime::ScrollToCaret(TRichMemo&) { ++ScrollRequests; }

void THeadlessRuntime::TimerChanged(TTimer& Timer) {
    if (std::find(timers_.begin(), timers_.end(), &Timer) == timers_.end()) timers_.push_back(&Timer);
}

void THeadlessRuntime::TimerFreed(TTimer& Timer) { std::erase(timers_, &Timer); }

}  // namespace ui
