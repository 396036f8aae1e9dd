// The product window: the start timer, the layout during a run, Close, the information link,
// the workstation line and an error shown over a hidden layout.
#include <algorithm>
#include <chrono>
#include <functional>

#include "platform/errors.h"
#include "platform/ini_file.h"
#include "tests/product/product_fixture.h"
#include "tests/support/scripted_server.h"
#include "ui/application.h"
#include "ui/runtime.h"

using namespace platform;
using namespace product;
using namespace ui;

namespace {
class Window : public ProductTest {
protected:
    void SetUp() override {
        ProductTest::SetUp();
        ScriptUpdaterDue();
        runtime.OnShowModal = [](TForm&) { return mrCancel; };
    }
    int Lines(const std::string& text) const {
        const auto memo = MemoTexts();
        return int(std::count(memo.begin(), memo.end(), text));
    }
};

const std::string kWorkstations =
    "To complete this update, all workstations need to log out of Brinquet\xC2\xAE "
    "Express.  Workstations will be updated when they log in.";

TEST_F(Window, CreatedBrandedAndStartedOnceByItsTimer) {
    ServerIni("FILECOUNT=0\r\n");
    LocalIni("");
    EXPECT_EQ(Run(), "");
    EXPECT_EQ(form->Caption, kBrinquet + " Updater");
    EXPECT_EQ(form->JobLabel.Caption, "Done.");
    EXPECT_FALSE(form->ProceedTimer.Enabled);
    EXPECT_EQ(form->ProceedTimer.Interval, 50);
    EXPECT_EQ(Lines("Connecting to update server..."), 1);
    // Two loads of the server INI (the product's and the engine's) make one update; the
    // message loop ended with nothing left to start another.
    EXPECT_EQ(Lines("Getting upgrade information."), 2);
    EXPECT_TRUE(form->Showing);
}

TEST_F(Window, EveryRunHidesThePanelsAndDisablesClose) {
    ServerIni("FILECOUNT=2\r\nFILE0NAME=" + std::string(kScriptUpdaterName) +
              "\r\nFILE0VERSION=5.1.0.0\r\nFILE0HELP_LOCATION=http://help.example/notes\r\n"
              "FILE1NAME=next.sh\r\nFILE1VERSION=0.0.0.0\r\n");
    Write("Updates/next.sh", "#!/bin/sh\n");
    ScriptedServer support;
    support.Accept().ExpectRequest().Send("HTTP/1.0 200 OK\r\nContent-Length: 6\r\n\r\nGot It").Close();
    support.Start();
    supportUrl = support.Url("/scripts/zelisapi.dll/runningupload");
    struct Seen {
        int height, title, progress;
        bool closeEnabled;
    };
    std::vector<Seen> during;
    os.onRun = [&](const std::string&) {
        during.push_back(
            {form->Height, form->JobTitlePanel.Height, form->ProgressPanel.Height, form->CloseBtn.Enabled});
    };
    int shownHeight = 0, frame = 0;
    runtime.onPump = [&] {
        if (form->ProceedBitBtn.Enabled && !form->Decided()) {
            runtime.onPump = nullptr;
            shownHeight = form->Height;
            frame = form->Height - form->ClientHeight;
            // The link: underlined under the pointer, opened by the shell on a click.
            form->MoreInfoLabel.OnMouseEnter();
            EXPECT_TRUE(form->MoreInfoLabel.Font.Underline);
            form->MoreInfoLabel.OnMouseLeave();
            EXPECT_FALSE(form->MoreInfoLabel.Font.Underline);
            form->MoreInfoLabel.OnClick();
            form->Height += 10;  // the user resizes; after a run the shown height comes back
            form->ClientHeight += 10;
            form->ProceedBitBtn.Click();
        }
    };
    LocalIni("");
    EXPECT_EQ(Run(), "");
    ASSERT_EQ(during.size(), 3u);  // the link's open, then the two runs
    for (size_t i = 1; i < during.size(); ++i) {
        SCOPED_TRACE(i);
        // 140 minus the two panels' 65; after a run the window is back at its shown height.
        EXPECT_EQ(during[i].height, shownHeight + (i == 1 ? 10 : 0) + 75);
        EXPECT_EQ(during[i].title, 0);
        EXPECT_EQ(during[i].progress, 0);
        EXPECT_FALSE(during[i].closeEnabled);
    }
    EXPECT_EQ(os.opened.front(), "http://help.example/notes");
    EXPECT_EQ(form->Height, shownHeight);
    EXPECT_EQ(form->Height - form->ClientHeight, frame) << "the client area follows the window";
    EXPECT_EQ(form->JobTitlePanel.Height, 33);
    EXPECT_EQ(form->ProgressPanel.Height, 32);
    EXPECT_EQ(form->ExternalAppPanel.Height, 0);
    EXPECT_TRUE(form->CloseBtn.Enabled);
    // The workstation line follows the successful update, and every later run repeats it.
    EXPECT_EQ(Lines(kWorkstations), 2);
    try {
        throw EUpdaterError("late");
    } catch (const std::exception& e) {
        form->ApplicationEvents1Exception(e);
    }
    EXPECT_EQ(Lines(kWorkstations), 3);
}

TEST_F(Window, NoWorkstationLineWithoutANetworkInstallOrASuccess) {
    ServerIni("FILECOUNT=1\r\nFILE0NAME=" + std::string(kScriptUpdaterName) + "\r\nFILE0VERSION=5.1.0.0\r\n");
    // The update program says this is no network installation.
    os.onRun = [this](const std::string&) {
        TIniFile(Program() + "BrinquetExpressUpdaterParams.ini").WriteString("Settings", "Network_Install", "0");
    };
    ClickProceedWhenWaiting();
    LocalIni("");
    EXPECT_EQ(Run(), "");
    EXPECT_TRUE(form->UpdateSucceeded());
    EXPECT_EQ(Lines(kWorkstations), 0);
}

TEST_F(Window, AnErrorWhileThePanelsAreHiddenRestoresThemFirst) {
    ServerIni("FILECOUNT=1\r\nFILE0NAME=" + std::string(kScriptUpdaterName) + "\r\nFILE0VERSION=5.1.0.0\r\n");
    os.shellResult = 2;  // the shell cannot open it
    int heightBefore = 0;
    runtime.onPump = [&] {
        if (form->ProceedBitBtn.Enabled && !form->Decided()) {
            heightBefore = form->Height;
            form->ProceedBitBtn.Click();
        } else if (Lines("=== Error ===") == 1) {
            // The run's own error leaves the wait to Close, as before.
            EXPECT_FALSE(form->Decided());
            EXPECT_FALSE(form->ProceedBitBtn.Enabled);
            runtime.onPump = nullptr;
            form->CloseBtn.Click();
        }
    };
    LocalIni("");
    EXPECT_EQ(Run(), "");
    EXPECT_EQ(Lines("=== Error ==="), 1);
    EXPECT_EQ(form->Height, heightBefore);
    EXPECT_EQ(form->JobTitlePanel.Height, 33);
    EXPECT_EQ(form->ProgressPanel.Height, 32);
    EXPECT_TRUE(form->CloseBtn.Enabled);
    EXPECT_EQ(form->JobLabel.Caption, "Done.");
    EXPECT_EQ(form->afterRuns, std::vector<std::string>{""}) << "restored before the error lines, by the event";
}
TEST_F(Window, AnOrdinaryRunsErrorGivesTheWindowBackAndCloseEndsIt) {
    struct Case {
        const char* name;
        const char* wait;  // FILE0WAIT
        std::function<void(FakeProductOS&)> arrange;
    } cases[] = {
        {"time-out", "5000",
         [](FakeProductOS& o) {
             o.onRun = [](const std::string& line) {
                 throw EUpdaterError(line + " exceeded timeout setting and has been closed.");
             };
         }},
        {"shell failure", "0", [](FakeProductOS& o) { o.shellResult = 2; }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        os = FakeProductOS();
        c.arrange(os);
        runtime.Errors.clear();
        ServerIni("FILECOUNT=1\r\nFILE0NAME=tool.exe\r\nFILE0VERSION=0.0.0.0\r\nFILE0WAIT=" + std::string(c.wait) +
                  "\r\n");
        Write("Updates/tool.exe", "MZ");
        int shownHeight = 0;
        runtime.onPump = [&] {
            if (!shownHeight) shownHeight = form->Height;
        };
        LocalIni("");
        EXPECT_EQ(Run(), "");
        ASSERT_EQ(runtime.Errors.size(), 1u) << "one error box, with the error icon";
        EXPECT_EQ(runtime.Errors[0].rfind("Update error: ", 0), 0u);
        EXPECT_EQ(form->Height, shownHeight);
        EXPECT_EQ(form->JobTitlePanel.Height, 33);
        EXPECT_EQ(form->ProgressPanel.Height, 32);
        EXPECT_FALSE(form->Animate1.Active) << "the busy indicator stops at the end";
        EXPECT_EQ(form->ProgressBar.Position, form->ProgressBar.Min) << "a failed update leaves the bar empty";
        EXPECT_TRUE(form->CloseBtn.Enabled);
        PressButton(form->CloseBtn);
        EXPECT_FALSE(form->Showing) << "Close ends the program";
    }
}

TEST_F(Window, ACompletedUpdateEndsWithAFullBarAndTheIndicatorStopped) {
    ServerIni("FILECOUNT=0\r\n");
    LocalIni("");
    EXPECT_EQ(Run(), "");
    EXPECT_TRUE(runtime.Errors.empty());
    EXPECT_FALSE(form->Animate1.Active);
    EXPECT_EQ(form->ProgressBar.Position, form->ProgressBar.Max);
}

TEST_F(Window, CloseWhileTheServerIsSilentStopsTheUpdateWithoutAnError) {
    ScriptedServer silent;
    silent.Accept().SleepMs(3000).Close();
    silent.Start();
    runtime.AtWaitPump(2, [this] { PressButton(form->CloseBtn); });
    LocalIni("SERVERPATH=" + silent.Url("/") + "\r\n");
    Application().Params = {"DEBUG"};
    form.reset();
    form = engine::CreateForm<ProductForm>();
    const auto started = std::chrono::steady_clock::now();
    form->Start();
    const auto took = std::chrono::steady_clock::now() - started;
    EXPECT_LT(took, std::chrono::milliseconds(1500)) << "the wait ended at the Close, not at the server's close";
    EXPECT_GE(runtime.WaitPumps, 2);
    EXPECT_TRUE(runtime.Messages.empty()) << runtime.Messages.front();
    EXPECT_TRUE(InMemo(engine::kUserStopText));
    for (const auto& line : MemoTexts()) EXPECT_EQ(line.find("Update error"), std::string::npos) << line;
    EXPECT_FALSE(form->ErrorUpdating());
    EXPECT_FALSE(form->Showing);
}
}  // namespace
