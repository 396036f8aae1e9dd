// Faults found by reading the engine: what a freed component leaves behind, and the
// "update is running" flag when reporting an update error fails.
#include <memory>

#include "platform/errors.h"
#include "tests/engine/engine_fixture.h"
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
}  // namespace
