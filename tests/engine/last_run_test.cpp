// The last-run record, the exit code and the event log entry that every run leaves behind,
// one case per outcome, against a real web server on loopback.
#include <cstdlib>
#include <regex>
#include <vector>

#include "engine/last_run.h"
#include "platform/errors.h"
#include "platform/ini_file.h"
#include "tests/engine/update_fixture.h"

using namespace engine;
using namespace platform;
using namespace ui;

namespace {

TEST(LastRunCodes, ExitCodeAndEventTypePerOutcome) {
    struct Case {
        TRunOutcome outcome;
        bool uploadFailed;
        int plain, asked;  // exit code without and with EXITCODES
        TEventType event;
    } cases[] = {
        {TRunOutcome::UpToDate, false, 0, 0, TEventType::Information},
        {TRunOutcome::Updated, false, 0, 0, TEventType::Information},
        {TRunOutcome::StartError, false, 1, 1, TEventType::Error},
        {TRunOutcome::UpdateError, false, 0, 2, TEventType::Error},
        {TRunOutcome::RunFailed, false, 0, 3, TEventType::Warning},
        {TRunOutcome::Updated, true, 0, 4, TEventType::Warning},
        {TRunOutcome::RunFailed, true, 0, 3, TEventType::Warning},
        {TRunOutcome::AlreadyRunning, false, 0, 5, TEventType::Warning},
        {TRunOutcome::Stopped, false, 0, 0, TEventType::Information},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(OutcomeName(c.outcome)) + (c.uploadFailed ? " with a failed upload" : ""));
        EXPECT_EQ(ExitCodeFor(c.outcome, c.uploadFailed, false), c.plain);
        EXPECT_EQ(ExitCodeFor(c.outcome, c.uploadFailed, true), c.asked);
        EXPECT_EQ(EventTypeFor(c.outcome, c.uploadFailed), c.event);
    }
}

TEST(LastRunCodes, TheErrorIsTheOneBehindTheOutcome) {
    TLastRun run;
    run.NoteUpload(TUploadState::UploadFailed, "upload refused");
    EXPECT_EQ(run.Error(), "upload refused") << "a run that otherwise went through";
    run.NoteRunFailed("x.sh did not complete");
    run.NoteRunFailed("y.sh did not complete");
    EXPECT_EQ(run.Outcome(), TRunOutcome::RunFailed);
    EXPECT_EQ(run.Error(), "x.sh did not complete") << "the first of its kind";
    run.NoteUpdateError("");
    EXPECT_EQ(run.Outcome(), TRunOutcome::UpdateError) << "an error without a text is still an error";
    EXPECT_EQ(run.Error(), "");
}

#ifndef _WIN32
// The list is usually walked in order; numbers out of order must still find their one entry,
// and only the entries acted on keep a section: the others are counted once.
TEST(LastRunCodes, OneEntryPerNumberInTheOrderFirstAsked) {
    struct Ask {
        int number;
        bool act;  // the run downloads it at this ask
    };
    const struct Case {
        const char* name;
        std::vector<Ask> asked;
        std::vector<int> listed;
        size_t compared, unchanged;
    } cases[] = {
        {"ascending, each asked again", {{1, true}, {1, false}, {2, false}, {2, false}, {3, true}, {1, false}},
         {1, 3}, 3, 1},
        {"a smaller number after larger ones", {{2, true}, {5, true}, {3, true}, {5, false}, {2, false}, {3, false}},
         {2, 5, 3}, 3, 0},
        {"descending", {{9, true}, {4, false}, {1, true}, {9, false}, {4, false}}, {9, 1}, 3, 1},
        {"one left alone asked again and then acted on", {{1, false}, {2, false}, {1, true}, {3, false}},
         {1}, 3, 2},
        {"the last one left alone", {{0, true}, {1, false}}, {0}, 2, 1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        TLastRun run;
        for (const Ask& a : c.asked) {
            TLastRunEntry& e = run.Entry(a.number);
            EXPECT_EQ(e.Number, a.number);
            if (a.act) e.Downloaded = true;
        }
        std::vector<int> numbers;
        for (const TLastRunEntry& e : run.Entries()) numbers.push_back(e.Number);
        EXPECT_EQ(numbers, c.listed);
        EXPECT_EQ(run.Compared(), c.compared);
        EXPECT_EQ(run.Unchanged(), c.unchanged);
    }
}

// The entry an update error or the user's stop ended the run at is listed, acted on or not.
TEST(LastRunCodes, TheEntryTheRunEndedAtIsListed) {
    for (const bool stopped : {false, true}) {
        SCOPED_TRACE(stopped ? "stopped" : "update error");
        TLastRun run;
        run.Entry(0).Ran = "TRUE";
        run.Entry(1).Name = "left.sh";
        run.Entry(2).Name = "failing.sh";
        if (stopped)
            run.NoteStopping(true);
        else
            run.NoteUpdateError("Unable to get file");
        std::vector<std::string> names;
        for (const TLastRunEntry& e : run.Entries()) names.push_back(e.Name);
        EXPECT_EQ(names, (std::vector<std::string>{"", "failing.sh"}));
        EXPECT_EQ(run.Unchanged(), 1u);
        EXPECT_NE(run.IniText(0).find("[FILE2]\r\nName=failing.sh\r\n"), std::string::npos) << run.IniText(0);
    }
}

TEST(LastRunCodes, IsoTimeCarriesTheOffset) {
    const char* old = std::getenv("TZ");
    const std::string saved = old ? old : "";
    struct Case {
        const char* tz;
        const char* text;
    } cases[] = {{"UTC0", "2026-12-10T13:05:07+00:00"},
                 {"XST-5:30", "2026-12-10T13:05:07+05:30"},
                 {"YST3", "2026-12-10T13:05:07-03:00"}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.tz);
        setenv("TZ", c.tz, 1);
        tzset();
        TLocalDateTime when;
        when.Time.tm_year = 126;
        when.Time.tm_mon = 11;
        when.Time.tm_mday = 10;
        when.Time.tm_hour = 13;
        when.Time.tm_min = 5;
        when.Time.tm_sec = 7;
        when.Time.tm_isdst = 0;
        EXPECT_EQ(IsoLocalTimeText(when), c.text);
    }
    if (old)
        setenv("TZ", saved.c_str(), 1);
    else
        unsetenv("TZ");
    tzset();
}
#endif

// A form whose start fails after the program name is known, as a product's set-up can.
struct FailingStartForm : SiteForm {
    void InitializeIt() override {
        SiteForm::InitializeIt();
        throw EUpdaterError("Unable to set working directory to /nowhere/");
    }
};

class LastRunRecord : public Update {
protected:
    struct Outcome {
        std::string outcome, error, exitCode;
        int processCode = -1;
    };
    Outcome Read() const {
        const TIniFile ini(dir.File("Updater_LastRun.ini"));
        return {ini.ReadString("LastRun", "Outcome", "?"), ini.ReadString("LastRun", "Error", "?"),
                ini.ReadString("LastRun", "ExitCode", "?"), LastRunExitCode()};
    }
};

TEST_F(LastRunRecord, OneRecordPerOutcome) {
    const std::string oneFile = kHeader + "FILECOUNT=1\r\nFILE0NAME=app.sh\r\nFILE0VERSION=1.0.0.0\r\n";
    struct Case {
        const char* what;
        std::string ini;
        bool visual, debug;
        const char* outcome;
        int exitCode;  // with EXITCODES
        bool hasError;
        TEventType event;
    } cases[] = {
        {"up to date", kHeader + "FILECOUNT=1\r\nFILE0NAME=app.sh\r\nFILE0VERSION=0.0.0.0\r\nFILE0EXECUTE=NEVER\r\n",
         false, true, "UpToDate", 0, false, TEventType::Information},
        {"updated, without DEBUG", oneFile, false, false, "Updated", 0, false, TEventType::Information},
        {"update error", kHeader, false, true, "UpdateError", 2, true, TEventType::Error},
        {"a waited run that failed", oneFile + "FILE0WAIT=5000\r\n", false, true, "RunFailed", 3, true,
         TEventType::Warning},
        {"the user's stop, in a visual run", oneFile, true, false, "Stopped", 0, false, TEventType::Information},
        {"a start error", oneFile, false, true, "StartError", 1, true, TEventType::Error},
        {"another updater running", oneFile, false, false, "AlreadyRunning", 5, true, TEventType::Warning},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        const std::string what = c.what;
        site.Put("/cfg/Updater.ini", c.ini);
        site.Put("/cfg/app.sh", "new bytes");
        dir.Write("app.sh", "installed");
        std::filesystem::remove(dir.File("Updater.log"));
        std::filesystem::remove(dir.File("Updater_LastRun.ini"));
        dir.Write("Updater_Local.ini", c.visual ? "" : "CONSOLE=\r\n");
        events.clear();
        os.codes = {0};
        std::vector<std::string> params = {"EXITCODES", "SERVERPATH=" + site.Url("/cfg/")};
        if (c.debug) params.push_back("DEBUG");
        Params(params);
        bool starts = true;
        {
            std::unique_ptr<SiteForm, void (*)(TzelCustUpdaterDialogForm*)> form =
                what == "a start error" ? MakeForm<FailingStartForm>() : MakeForm<SiteForm>();
            if (what == "another updater running") {
                // Found before the run starts: the form goes without one.
                form->NoteAlreadyRunning("Another updater is running in this folder.");
                starts = false;
            }
            if (c.visual) {
                // Stop pressed at the first round of window messages within the update.
                runtime.InLoop([&] {
                    runtime.AtPump(runtime.Pumps + 1, [&] { form->StopBitBtn.Click(); });
                    form->ProceedBitBtn.Click();
                });
            }
            try {
                if (starts) form->Start();
            } catch (const std::exception& e) {
                EXPECT_EQ(what, "a start error") << e.what();
            }
        }
        const Outcome r = Read();
        EXPECT_EQ(r.outcome, c.outcome);
        EXPECT_EQ(r.exitCode, std::to_string(c.exitCode));
        EXPECT_EQ(r.processCode, c.exitCode);
        EXPECT_EQ(!r.error.empty(), c.hasError) << r.error;
        EXPECT_EQ(dir.Exists("Updater.log"), c.debug);
        ASSERT_FALSE(events.empty());
        EXPECT_EQ(events.back().type, c.event);
        EXPECT_EQ(events.back().text.rfind("The run ended: " + std::string(c.outcome) + ".", 0), 0u)
            << events.back().text;
    }
}

TEST_F(LastRunRecord, HoldsTheRunTheEntriesAndTheWaitedExitCode) {
    site.Put("/cfg/Updater.ini", kHeader +
                                     "FILECOUNT=2\r\n"
                                     "FILE0NAME=waited.sh\r\nFILE0VERSION=2.1.0.0\r\nFILE0WAIT=5000\r\n"
                                     "FILE1NAME=kept.sh\r\nFILE1VERSION=0.0.0.0\r\nFILE1EXECUTE=NEVER\r\n");
    site.Put("/cfg/waited.sh", "new");
    dir.Write("kept.sh", "installed");
    os.codes = {300};
    dir.Write("Updater_Local.ini", "CONSOLE=\r\n");
    Params({"SERVERPATH=" + site.Url("/cfg/")});  // neither DEBUG nor EXITCODES
    MakeForm<SiteForm>()->Start();
    const std::string record = dir.Read("Updater_LastRun.ini");
    static const std::regex shape(
        "\\[LastRun\\]\r\n"
        "Started=\\d{4}-\\d\\d-\\d\\dT\\d\\d:\\d\\d:\\d\\d[+-]\\d\\d:\\d\\d\r\n"
        "Ended=\\d{4}-\\d\\d-\\d\\dT\\d\\d:\\d\\d:\\d\\d[+-]\\d\\d:\\d\\d\r\n"
        "Outcome=Updated\r\nError=\r\nExitCode=0\r\nCompared=2\r\nUnchanged=1\r\n"
        "\\[FILE0\\]\r\nName=waited.sh\r\nOffered=2.1.0.0\r\nInstalledBefore=0.0.0.0\r\nDownloaded=TRUE\r\n"
        "Ran=TRUE\r\nExitCode=300\r\n");
    EXPECT_TRUE(std::regex_match(record, shape)) << record;
    EXPECT_FALSE(dir.Exists("Updater.log"));
}

TEST_F(LastRunRecord, TheWaitedExitCodeIsLoggedWithWhetherItCounts) {
    site.Put("/cfg/Updater.ini", kHeader + "FILECOUNT=1\r\nFILE0NAME=w.sh\r\nFILE0VERSION=1.0.0.0\r\nFILE0WAIT=9\r\n");
    site.Put("/cfg/w.sh", "new");
    os.codes = {7};
    RunNonVisual();
    EXPECT_TRUE(
        Logged("TzelCustUpdaterDialogForm.RunFile(): w.sh ended with exit code 7, which does not count as "
               "completed."));
    std::filesystem::remove(dir.File("w.sh"));
    os.codes = {260};
    RunNonVisual();
    EXPECT_TRUE(
        Logged("TzelCustUpdaterDialogForm.RunFile(): w.sh ended with exit code 260, which counts as completed."));
}

TEST_F(LastRunRecord, IsOneOfTheUpdatersOwnFiles) {
    site.Put("/cfg/Updater.ini", kHeader + "FILECOUNT=1\r\nFILE0NAME=updater_lastrun.INI\r\n");
    RunNonVisual();
    EXPECT_TRUE(errorUpdating);
    EXPECT_EQ(Read().outcome, "UpdateError");
    EXPECT_NE(Read().error.find("which is one of the updater's own files"), std::string::npos) << Read().error;
}

}  // namespace
