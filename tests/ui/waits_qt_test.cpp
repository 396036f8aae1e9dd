// The real window while the one thread waits: for a program it runs and for a server that
// never answers. Whole visual runs through Start, the user played by timers.
#include <QAbstractButton>
#include <QTimer>
#include <chrono>
#include <filesystem>

#include "tests/support/real_peers.h"
#include "tests/support/scripted_server.h"
#include "tests/ui/qt_fixture.h"

using namespace engine;
using namespace ui;

namespace {
using Clock = std::chrono::steady_clock;

class Waits : public QtTest {
protected:
    void Press(TButton& b) {
        if (auto* w = qobject_cast<QAbstractButton*>(runtime->WidgetOf(b))) w->click();
    }
    // Presses Proceed once the window is up, then Close as soon as Done holds (checked every 20 ms).
    void PlayUser(TzelCustUpdaterDialogForm& form, std::function<bool()> Done) {
        QTimer::singleShot(0, [&form, this] { Press(form.ProceedBitBtn); });
        auto* poll = new QTimer(runtime->WindowOf(form));
        QObject::connect(poll, &QTimer::timeout, [&form, this, Done, poll] {
            if (!Done()) return;
            poll->stop();
            closedAt = Clock::now();
            Press(form.CloseBtn);
        });
        poll->start(20);
    }
    Clock::time_point closedAt{};
};

TEST_F(Waits, TimersFireWhileAWaitedProgramRuns) {
    const std::string started = dir.File("started"), ended = dir.File("ended");
    dir.Write("slow.sh", "#!/bin/sh\ntouch '" + started + "'\nsleep 0.8\ntouch '" + ended + "'\n", 0755);
    ScriptedServer site;
    const std::string ini = "[Update]\r\nFOUNDIT=1\r\nFILECOUNT=1\r\nFILE0NAME=slow.sh\r\nFILE0WAIT=20000\r\n";
    site.Accept().ExpectRequest().Send(IniReply(ini)).Close().Start();
    Application().Params = {"SERVERPATH=" + site.Url("/")};
    auto form = CreateForm<TzelCustUpdaterDialogForm>();
    int ticksDuringRun = 0;
    QTimer tick;
    QObject::connect(&tick, &QTimer::timeout, [&] {
        if (std::filesystem::exists(started) && !std::filesystem::exists(ended)) ++ticksDuringRun;
    });
    tick.start(50);
    PlayUser(*form, [&] { return CountLines(form->ProgressMemo, "Finished all update processes") > 0; });
    form->Start();
    EXPECT_TRUE(std::filesystem::exists(ended));
    EXPECT_GE(ticksDuringRun, 8) << "the window took its messages while the program ran for 800 ms";
    // A POSIX exit code never reaches the range that counts as completed.
    EXPECT_EQ(CountLines(form->ProgressMemo, "slow.sh did not complete execution."), 1);
    EXPECT_TRUE(boxes.empty());
}

TEST_F(Waits, CloseWhileTheServerIsSilentEndsTheRunAtOnce) {
    ScriptedServer silent;
    silent.Accept().SleepMs(2500).Close().Start();
    Application().Params = {"SERVERPATH=" + silent.Url("/")};
    auto form = CreateForm<TzelCustUpdaterDialogForm>();
    const Clock::time_point begun = Clock::now();
    PlayUser(*form, [&] { return Clock::now() - begun > std::chrono::milliseconds(400); });
    form->Start();
    const auto took = Clock::now() - closedAt;
    EXPECT_LT(took, std::chrono::seconds(1))
        << "the run ended " << std::chrono::duration_cast<std::chrono::milliseconds>(took).count() << " ms after Close";
    EXPECT_TRUE(boxes.empty()) << boxes.front().text;
    EXPECT_EQ(CountLines(form->ProgressMemo, kUserStopText), 1);
    EXPECT_FALSE(form->ErrorUpdating());
}
// The box that ends an update in an error carries the error icon; a confirmation the question icon.
TEST_F(Waits, BoxesCarryTheirIcons) {
    Application().Params = {"SERVERPATH=http://127.0.0.1:" + std::to_string(FreeLoopbackPort()) + "/"};
    ShownForm form(*runtime);
    form->UpdateNow();
    runtime->Confirm("Install the new version now?");
    ASSERT_EQ(boxes.size(), 2u);
    EXPECT_EQ(boxes[0].text.rfind("Update error: ", 0), 0u) << boxes[0].text;
    EXPECT_EQ(boxes[0].icon, QMessageBox::Critical);
    EXPECT_EQ(boxes[1].caption, "Confirm");
    EXPECT_EQ(boxes[1].icon, QMessageBox::Question);
}
}  // namespace
