// Status lines, the status catalogue and the exception report.
#include <filesystem>

#include "engine/log_clock.h"
#include "platform/errors.h"
#include "tests/engine/engine_fixture.h"

using namespace engine;
using namespace platform;
using namespace ui;

namespace {
using Status = EngineTest;

TEST_F(Status, LogLinesAreStampedWithTheLocalDateAndTime) {
    const struct {
        const char* what;
        int hour, min, sec, ms;
        const char* line;
    } cases[] = {
        {"an ordinary moment", 23, 41, 7, 250, "09/12/26 23:41:07:  Finished all update processes\r\n"},
        {"a millisecond past midnight", 0, 0, 0, 1, "09/12/26 00:00:00:  Finished all update processes\r\n"},
        {"midnight exactly: the date alone", 0, 0, 0, 0, "09/12/26:  Finished all update processes\r\n"},
    };
    Params({"DEBUG"});
    auto form = MakeForm();
    form->InitializeIt();
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        SetLogClock([&c] {
            TLocalDateTime t;
            t.Time.tm_year = 126, t.Time.tm_mon = 8, t.Time.tm_mday = 12;
            t.Time.tm_hour = c.hour, t.Time.tm_min = c.min, t.Time.tm_sec = c.sec;
            t.Milliseconds = c.ms;
            return t;
        });
        dir.Write("Updater.log", "");
        form->Finish();
        SetLogClock(nullptr);
        EXPECT_EQ(dir.Read("Updater.log"), c.line);
    }
    form->LocalIniList().Clear();
}

TEST_F(Status, Catalogue) {
    auto form = MakeForm();
    struct Case {
        int type;
        const char* alias;
        const char* text;
    } cases[] = {
        {1, "app.exe", "Downloading app.exe."},
        {1, "", "Downloading ."},
        {1, "configuration file", "Getting upgrade information."},
        {2, "app.exe", "Successfully downloaded app.exe"},
        {2, "Configuration File", "Comparing versions"},
        {4, "Configuration File", "No newer version of Configuration File is available."},
        {5, "app.exe", "Running app.exe"},
        {6, "app.exe", "Finished running app.exe"},
        {7, "", "Finished all update processes"},
        {8, "app.exe", "app.exe did not complete execution."},
        {10, "x", "Update could not successfully complete."},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::to_string(c.type) + " " + c.alias);
        EXPECT_EQ(form->GetStatusMessage(c.type, c.alias, "True", nullptr), c.text);
    }
    for (int bad : {0, 3, 9, 11, -1}) {
        SCOPED_TRACE(bad);
        try {
            form->GetStatusMessage(bad, "x", "", nullptr);
            ADD_FAILURE() << "no error";
        } catch (const EUpdaterError& e) {
            EXPECT_STREQ(e.what(), "Programming error: Could not find status type in get status message.");
        }
    }
}

TEST_F(Status, ReportStatusReachesMemoAndLogAsModeAndFlagsSay) {
    struct Case {
        const char* what;
        std::vector<std::string> params;
        bool console;
        const char* text;
        bool visual;
        size_t memoLines;
        bool logged;
    } cases[] = {
        {"visual with DEBUG", {"DEBUG"}, false, "a", true, 1, true},
        {"not visual: log only", {"DEBUG"}, false, "b", false, 0, true},
        {"no DEBUG, not visual: nothing", {}, false, "c", false, 0, false},
        {"non-visual mode: log only", {"DEBUG"}, true, "d", true, 0, true},
        {"empty text: nothing at all", {"DEBUG"}, false, "", true, 0, false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        std::filesystem::remove(dir.File("Updater.log"));
        if (c.console)
            dir.Write("Updater_Local.ini", "CONSOLE=\r\n");
        else
            std::filesystem::remove(dir.File("Updater_Local.ini"));
        Params(c.params);
        auto form = MakeForm();
        form->InitializeIt();
        std::filesystem::remove(dir.File("Updater.log"));
        form->ReportStatus(c.text, c.visual, false, false);
        EXPECT_EQ(form->ProgressMemo.Lines.size(), c.memoLines);
        EXPECT_EQ(dir.Exists("Updater.log"), c.logged);
        form->LocalIniList().Clear();
    }
}

TEST_F(Status, BoldAndRedAreOnlyEverSwitchedOn) {
    auto form = MakeForm();
    form->InitializeIt();
    form->ReportStatus("plain", true, false, false);
    form->ReportStatus("bold red", true, true, true);
    auto& lines = form->ProgressMemo.Lines;
    ASSERT_EQ(lines.size(), 2u);
    EXPECT_EQ(lines[0].Color, clNavy);
    EXPECT_FALSE(lines[0].Bold);
    EXPECT_EQ(lines[1].Color, clRed);
    EXPECT_TRUE(lines[1].Bold);
    EXPECT_GE(runtime.ScrollRequests, 2) << "scrolled after every line";
}

TEST_F(Status, VisualDebugShowsDirectLogTextsOnly) {
    Params({"VISUALDEBUG"});
    auto form = MakeForm();
    form->InitializeIt();
    form->ReportStatus("status line", true, false, false);
    form->WriteLog(form->LogFileName(), "diagnostic");
    EXPECT_EQ(runtime.Messages, std::vector<std::string>{"diagnostic"});
    EXPECT_FALSE(dir.Exists("Updater.log")) << "no log without DEBUG";
}

TEST_F(Status, ExceptionEventAddsTwoRedLinesInVisualMode) {
    Params({"DEBUG"});
    auto form = MakeForm();
    form->InitializeIt();
    try {
        throw EUpdaterError("boom");
    } catch (const std::exception& e) {
        form->ApplicationEvents1Exception(e);
    }
    auto& lines = form->ProgressMemo.Lines;
    ASSERT_EQ(lines.size(), 2u);
    EXPECT_EQ(lines[0].Text, "=== Error ===");
    EXPECT_EQ(lines[0].Color, clRed);
    EXPECT_TRUE(lines[0].Bold);
    EXPECT_EQ(lines[1].Text, "boom");
    EXPECT_EQ(lines[1].Color, clRed);
    EXPECT_FALSE(lines[1].Bold);
    EXPECT_EQ(form->ProgressMemo.SelColor, clNavy);
    EXPECT_FALSE(form->ProgressMemo.SelBold);
    EXPECT_TRUE(runtime.Messages.empty());
    EXPECT_EQ(LogTexts().back(), "Exception:  boom");
}

TEST_F(Status, ExceptionEventReRaisesInNonVisualMode) {
    dir.Write("Updater_Local.ini", "CONSOLE=\r\n");
    auto form = MakeForm();
    form->InitializeIt();
    try {
        try {
            throw EConvertError("bad");
        } catch (const std::exception& e) {
            form->ApplicationEvents1Exception(e);
        }
        ADD_FAILURE() << "absorbed";
    } catch (const EConvertError& e) {
        EXPECT_STREQ(e.what(), "bad");
    }
    EXPECT_TRUE(form->ProgressMemo.Lines.empty());
}

TEST_F(Status, AClickThatThrowsReachesTheExceptionEvent) {
    auto form = MakeForm();
    form->InitializeIt();
    form->Show();
    form->ProceedBitBtn.OnClick = [] { throw EUpdaterError("click failed"); };
    runtime.InLoop([&] { form->ProceedBitBtn.Click(); });
    runtime.InLoop([&] { form->Close(); });
    runtime.RunMessageLoop(*form);
    ASSERT_EQ(form->ProgressMemo.Lines.size(), 2u);
    EXPECT_EQ(form->ProgressMemo.Lines[1].Text, "click failed");
}
}  // namespace
