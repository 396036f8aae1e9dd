// Start-up, modes, the phases of an update, and the closing step.
#include <filesystem>

#include "platform/errors.h"
#include "tests/engine/engine_fixture.h"
#include "tests/support/scripted_server.h"

using namespace engine;
using namespace platform;
using namespace ui;

namespace {
using Lifecycle = EngineTest;

TEST_F(Lifecycle, InitializeItReadsNameParametersAndMode) {
    struct Case {
        const char* what;
        const char* exe;
        std::vector<std::string> params;
        const char* localIni;  // nullptr: none
        std::string progName;
        bool debug, visualDebug, showForms;
    } cases[] = {
        {"plain", "Updater.exe", {}, nullptr, "Updater", false, false, true},
        {"first dot ends the name", "My.Updater.exe", {}, nullptr, "My", false, false, true},
        {"no dot: the whole name", "Updater", {}, nullptr, "Updater", false, false, true},
        {"debug in small letters", "Updater.exe", {"debug"}, nullptr, "Updater", true, false, true},
        {"DEBUG=1 is no switch", "Updater.exe", {"DEBUG=1"}, nullptr, "Updater", false, false, true},
        {"VISUALDEBUG", "Updater.exe", {"VisualDebug", "SERVERPATH=x"}, nullptr, "Updater", false, true, true},
        {"CONSOLE= selects non-visual", "Updater.exe", {}, "[x]\r\nCONSOLE=\r\n", "Updater", false, false, false},
        {"console=yes any case", "Updater.exe", {}, "console=yes\r\n", "Updater", false, false, false},
        {"CONSOLE without = does not", "Updater.exe", {}, "CONSOLE\r\n", "Updater", false, false, true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        std::filesystem::remove(dir.File("Updater_Local.ini"));
        std::filesystem::remove(dir.File("_Local.ini"));
        std::filesystem::remove(dir.File("My_Local.ini"));
        Application().ExeName = dir.File(c.exe);
        Params(c.params);
        if (c.localIni) dir.Write(c.progName + "_Local.ini", c.localIni);
        auto form = MakeForm();
        form->InitializeIt();
        EXPECT_EQ(form->ProgName(), c.progName);
        EXPECT_EQ(form->LogFileName(), dir.File(c.progName + ".log"));
        EXPECT_EQ(form->Debug(), c.debug);
        EXPECT_EQ(form->VisualDebug(), c.visualDebug);
        EXPECT_EQ(form->ShowForms(), c.showForms);
        EXPECT_EQ(form->ParamList().Lines(), c.params);
        EXPECT_EQ(form->CurrentStep(), 1);
        EXPECT_TRUE(form->ContinueUpdating());
        form->LocalIniList().Clear();  // nothing to save at destruction
    }
}

TEST_F(Lifecycle, StartUpIsLoggedWithDebug) {
    Params({"DEBUG"});
    auto form = MakeForm();
    form->InitializeIt();
    EXPECT_EQ(LogTexts(), (std::vector<std::string>{"Loaded Params as DEBUG", "|",
                                                    "No inifile at" + dir.File("Updater_Local.ini") + " as ",
                                                    "No PUBLICKEY in the local INI: the server INI is not checked "
                                                    "against a publisher's key."}));
}

TEST_F(Lifecycle, LogEntriesCarryDateTimeAndTwoBlanksInAnsi) {
    Params({"DEBUG"});
    auto form = MakeForm();
    form->InitializeIt();
    form->WriteLog(form->LogFileName(), "Caf\xC3\xA9 line one\r\nline two");
    const std::string log = dir.Read("Updater.log");
    EXPECT_NE(log.find(":  Caf\xE9 line one\r\nline two\r\n"), std::string::npos) << log;
    EXPECT_EQ(LogTexts().back(), "|line two");
}

TEST_F(Lifecycle, NonVisualUpdateLogsAndSavesTwice) {
    ScriptedServer server;
    const std::string ini = "[Update]\r\nFOUNDIT=1\r\nFILECOUNT=0\r\nCONSOLE=1\r\n";
    server.Accept().ExpectRequest().Send(IniReply(ini)).Close().Start();
    dir.Write("Updater_Local.ini", "CONSOLE=\r\n; kept\r\n");
    Params({"DEBUG", "SERVERPATH=" + server.Url("/upd/")});
    {
        auto form = MakeForm();
        form->Start();
        EXPECT_FALSE(form->ErrorUpdating());
        EXPECT_TRUE(form->ProgressMemo.Lines.empty()) << "no window in non-visual mode";
        EXPECT_EQ(dir.Read("Updater_Local.ini"), "; kept\r\nCONSOLE=1\r\n");
        dir.Write("Updater_Local.ini", "changed on disk\r\n");
    }
    EXPECT_EQ(dir.Read("Updater_Local.ini"), "; kept\r\nCONSOLE=1\r\n") << "saved again at destruction";
    EXPECT_EQ(server.Request(0).substr(0, 25), "GET /upd/Updater.ini HTTP");
    int finished = 0;
    for (const auto& t : LogTexts()) finished += t == "Finished all update processes";
    EXPECT_EQ(finished, 2);
    EXPECT_FALSE(dir.Exists("Temp"));
}

TEST_F(Lifecycle, AnUpdateErrorIsReportedAndNothingIsSaved) {
    dir.Write("Updater_Local.ini", "SERVERPATH=http://127.0.0.1:1/\r\n");
    Params({"DEBUG"});
    {
        auto form = MakeForm();
        form->InitializeIt();
        form->SetLocalIniValue("FILE0RAN", "TRUE");
        form->UpdateNow();
        EXPECT_TRUE(form->ErrorUpdating());
        ASSERT_EQ(runtime.Messages.size(), 1u);
        EXPECT_EQ(runtime.Messages[0].rfind("Update error: Updater is having trouble communicating with the update web "
                                            "site at http://127.0.0.1:1/\rPlease verify",
                                            0),
                  0u)
            << runtime.Messages[0];
        ASSERT_FALSE(form->ProgressMemo.Lines.empty());
        EXPECT_EQ(form->ProgressMemo.Lines.back().Text, runtime.Messages[0]);
        EXPECT_TRUE(form->ProgressMemo.Lines.back().Bold);
        EXPECT_FALSE(form->ProceedBitBtn.Visible);
        form->Finish();
    }
    EXPECT_EQ(dir.Read("Updater_Local.ini"), "SERVERPATH=http://127.0.0.1:1/\r\n") << "no save in that run";
}

TEST_F(Lifecycle, StopSkipsTheRemainingPhases) {
    auto form = MakeForm();
    form->InitializeIt();
    form->SetStopping(true);
    form->UpdateNow();
    EXPECT_TRUE(form->ProgressMemo.Lines.empty());
    EXPECT_FALSE(form->ErrorUpdating());
    form->LocalIniList().Clear();
}

TEST_F(Lifecycle, AFailingCloseAtDestructionIsReportedNotFatal) {
    std::filesystem::create_directory(dir.File("Updater_Local.ini"));  // cannot be replaced by a file
    Params({"DEBUG"});
    {
        auto form = MakeForm();
        form->InitializeIt();
    }
    const auto log = LogTexts();
    ASSERT_FALSE(log.empty());
    EXPECT_EQ(log.back().rfind("Exception:  Cannot create file", 0), 0u) << log.back();
}

TEST_F(Lifecycle, StartLogsAnEscapingErrorAndLetsItGo) {
    struct Failing : TzelCustUpdaterDialogForm {
        void InitializeIt() override {
            TzelCustUpdaterDialogForm::InitializeIt();
            throw EUpdaterError("set-up failed");
        }
    };
    Params({"DEBUG"});
    auto form = MakeForm<Failing>();
    EXPECT_THROW(form->Start(), EUpdaterError);
    EXPECT_EQ(LogTexts().back(), "Exception:  set-up failed");
}

TEST_F(Lifecycle, VisualStartShowsTheFormAndRunsTheLoop) {
    auto form = MakeForm();
    bool looped = false;
    runtime.InLoop([&] {
        looped = true;
        EXPECT_TRUE(form->Showing);
        form->CloseBtn.Click();
    });
    form->Start();
    EXPECT_TRUE(looped);
    EXPECT_FALSE(form->Showing);
    ASSERT_EQ(form->ProgressMemo.Lines.size(), 1u);
    EXPECT_EQ(form->ProgressMemo.Lines[0].Text, "Connecting to update server...");
    EXPECT_TRUE(form->Stopping());
}
}  // namespace
