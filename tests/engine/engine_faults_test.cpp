// Faults found by reading the engine: what a freed component leaves behind, and the
// "update is running" flag when reporting an update error fails.
#include <chrono>
#include <memory>

#include "platform/errors.h"
#include "platform/wait_hook.h"
#include "tests/engine/engine_fixture.h"
#include "tests/support/scripted_server.h"
#include "ui/branding.h"
#include "ui/contact_dialog.h"

using namespace engine;
using namespace platform;
using namespace ui;

namespace {
using EngineFaults = EngineTest;

TEST_F(EngineFaults, AComponentFreedBeforeItsOwnerLeavesNoTrace) {
    auto form = MakeForm();
    const size_t components = form->Components.size();
    const size_t controls = form->ButtonPanel.Controls.size();
    {
        auto dialog = std::make_unique<TContactDialog>(form.get());
        auto extra = std::make_unique<TButton>(form.get(), &form->ButtonPanel, "Extra");
        ASSERT_EQ(form->Components.size(), components + 2);
        EXPECT_EQ(form->ButtonPanel.Controls.size(), controls + 1);
    }
    EXPECT_EQ(form->Components.size(), components);
    EXPECT_EQ(form->ButtonPanel.Controls.size(), controls);
    for (TComponent* c : form->Components) EXPECT_NE(c->Name, "ContactForm");
    // The walks that visit every owned component still work (under ASan they would trip).
    ApplyProductName(*form);
    EXPECT_EQ(form->JobLabel.Caption, "Checking for " + ProductName + " Updates");

    // And the other way round: a dialog that outlives its owner does not point back at it.
    auto owner = std::make_unique<TForm>("Owner");
    TContactDialog orphan(owner.get());
    owner.reset();
    EXPECT_EQ(orphan.Owner, nullptr);
}

TEST_F(EngineFaults, AFreedTimerIsNeverFiredByTheMessageLoop) {
    TForm window("Window");
    int fired = 0;
    {
        TTimer timer(&window, "Timer");
        timer.OnTimer = [&] { ++fired; };
        runtime.TimerChanged(timer);
    }
    window.Show();
    runtime.RunMessageLoop(window);  // returns: nothing left that could happen
    EXPECT_EQ(fired, 0);
}

// A runtime whose first message box fails, as a box that cannot be shown would.
struct FailingBoxRuntime : THeadlessRuntime {
    int failures = 1;
    void ShowMessage(const std::string& Text) override {
        if (failures-- > 0) throw EUpdaterError("no box");
        THeadlessRuntime::ShowMessage(Text);
    }
};

struct UnreachableForm : TzelCustUpdaterDialogForm {
    int updates = 0;
    std::string GetServerPath() override {
        ++updates;
        throw EUpdaterError("server unreachable");
    }
};

TEST_F(EngineFaults, AnErrorInsideTheUpdateErrorHandlerLeavesProceedUsable) {
    FailingBoxRuntime failing;
    failing.EchoMessages = false;
    SetRuntime(&failing);
    auto form = MakeForm<UnreachableForm>();
    form->InitializeIt();
    EXPECT_THROW(form->ProceedBitBtnClick(&form->ProceedBitBtn), EUpdaterError);
    EXPECT_FALSE(form->Updating());
    form->ProceedBitBtnClick(&form->ProceedBitBtn);
    EXPECT_EQ(form->updates, 2) << "the second Proceed ran an update";
    EXPECT_EQ(failing.Messages, std::vector<std::string>{"Update error: server unreachable"});
}
// The user's Stop, handled while the thread waits for a server that never answers, ends the
// transfer there: one line says so, no error box, no update error, and Proceed starts anew.
TEST_F(EngineFaults, StopDuringASilentServerIsTheUsersStopNotANetworkFault) {
    ScriptedServer silent;
    silent.Accept().SleepMs(2000).Close();
    silent.Start();
    Params({"SERVERPATH=" + silent.Url("/")});
    auto form = MakeForm();
    form->InitializeIt();
    runtime.AtWaitPump(1, [&] { PressButton(form->StopBitBtn); });
    const TScopedWaitHook waits([&] {
        runtime.ProcessMessagesWhileWaiting();
        return form->Stopping();
    });
    const auto started = std::chrono::steady_clock::now();
    form->ProceedBitBtnClick(&form->ProceedBitBtn);
    EXPECT_LT(std::chrono::steady_clock::now() - started, std::chrono::milliseconds(1000));
    EXPECT_TRUE(runtime.Messages.empty()) << runtime.Messages.front();
    ASSERT_FALSE(form->ProgressMemo.Lines.empty());
    EXPECT_EQ(form->ProgressMemo.Lines.back().Text, kUserStopText);
    EXPECT_FALSE(form->ErrorUpdating());
    EXPECT_TRUE(form->ProceedBitBtn.Visible);
    EXPECT_EQ(form->ProgressBar.Position, form->ProgressBar.Min);
}
}  // namespace
