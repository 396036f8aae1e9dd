// The product's decision for its own update program, the deferred run and its end, the
// product's status texts and its server location.
#include <algorithm>
#include <filesystem>

#include "platform/ini_file.h"
#include "tests/product/product_fixture.h"

using namespace engine;
using namespace platform;
using namespace product;
using namespace ui;

namespace {

const char kParams[] = "Updates/BrinquetExpressUpdaterParams.ini";
const std::string kScript = kScriptUpdaterName;

class Decisions : public ProductTest {
protected:
    void SetUp() override {
        ProductTest::SetUp();
        InstallSettings("LocalNumber=12");
        Write("Admin/BQKORVEXP.exe", Versioned(1, 0, 0, 0));
    }
    std::string ScriptOpened() const { return Program() + kScript + " /s"; }
    int Count(const std::vector<std::string>& lines, const std::string& text) const {
        return int(std::count(lines.begin(), lines.end(), text));
    }
};

TEST_F(Decisions, DecisionTable) {
    const std::string upToDate = kBrinquet + " is up to date.";
    struct Case {
        const char* what;
        std::string app;          // installed application's bytes
        std::string local;        // the script updater in the program folder, empty: none
        const char* versionLine;  // the entry's FILE0VERSION line
        std::string said;
        bool downloaded, ran, wasDownloaded;
        bool upToDateLine;
        std::string rollout = "", localIni = "";  // FILE0ROLLOUT, the local INI
    } cases[] = {
        {"application current", Versioned(5, 2, 0, 0), "", "FILE0VERSION=5.1.0.0\r\n",
         "You have the current version of " + kBrinquet + ".", false, false, false, true},
        {"application at the offered version", Versioned(5, 1, 0, 0), "", "FILE0VERSION=5.1.0.0\r\n",
         "You have the current version of " + kBrinquet + ".", false, false, false, true},
        {"version missing", Versioned(1, 0, 0, 0), "", "", "You have the current version of " + kBrinquet + ".", false,
         false, false, true},
        {"downloaded earlier", Versioned(1, 0, 0, 0), Versioned(5, 1, 0, 0), "FILE0VERSION=5.1.0.0\r\n",
         "Current version was downloaded earlier, but did not successfully run. It will be run now.", false, true,
         false, false},
        {"an older download is fetched again", Versioned(1, 0, 0, 0), Versioned(5, 0, 0, 0), "FILE0VERSION=5.1.0.0\r\n",
         "Newer version of " + kBrinquet + " is available for update.", true, true, true, false},
        {"newer", Versioned(1, 0, 0, 0), "", "FILE0VERSION=5.1.0.0\r\n",
         "Newer version of " + kBrinquet + " is available for update.", true, true, true, false},
        {"newer, inside the staged rollout", Versioned(1, 0, 0, 0), "", "FILE0VERSION=5.1.0.0\r\n",
         "Newer version of " + kBrinquet + " is available for update.", true, true, true, false, "10",
         "ROLLOUTBUCKET=9\r\n"},
        {"newer, held back by the staged rollout", Versioned(1, 0, 0, 0), "", "FILE0VERSION=5.1.0.0\r\n",
         kScript + " is held back by the staged rollout: this release reaches 10 % of workstations, and this one is "
                   "in bucket 10.",
         false, false, false, true, "10", "ROLLOUTBUCKET=10\r\n"},
    };
    const std::string offered = Versioned(5, 1, 0, 0);
    site.Put("/cfg/" + kScript, offered);
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        Write("Admin/BQKORVEXP.exe", c.app);
        std::filesystem::remove(Program() + kScript);
        if (!c.local.empty()) Write("Updates/" + kScript, c.local);
        ServerIni("FILECOUNT=1\r\nFILE0NAME=" + kScript + "\r\n" + c.versionLine +
                  (c.rollout.empty() ? "" : "FILE0ROLLOUT=" + c.rollout + "\r\n"));
        LocalIni(c.localIni);  // visual: only the blocked and current cases get through without a click
        ClickProceedWhenWaiting();
        EXPECT_EQ(Run(), "");
        const auto memo = MemoTexts();
        EXPECT_EQ(Count(memo, c.said), 1);
        EXPECT_EQ(Count(memo, upToDate), c.upToDateLine ? 1 : 0);
        EXPECT_EQ(Read("Updates/" + kScript), c.downloaded ? offered : c.local);
        ASSERT_EQ(form->runs.size(), c.ran ? 1u : 0u);
        if (c.ran) {
            EXPECT_EQ(form->runs[0].wasDownloaded, c.wasDownloaded);
            EXPECT_EQ(os.opened, std::vector<std::string>{ScriptOpened()});
        }
        // The script updater's download is not announced.
        for (const auto& line : memo) {
            EXPECT_NE(line.rfind("Downloading", 0), 0u) << line;
            EXPECT_NE(line.rfind("Successfully downloaded", 0), 0u) << line;
        }
        EXPECT_EQ(form->JobLabel.Caption, "Done.");
        os.opened.clear();
    }
}

TEST_F(Decisions, AnUpdateBlockedByTheParamsFileEndsTheList) {
    ServerIni(
        "FILECOUNT=3\r\n"
        "FILE0NAME=prep.sh\r\nFILE0VERSION=0.0.0.0\r\n"
        "FILE1NAME=" +
        kScript +
        "\r\nFILE1VERSION=5.1.0.0\r\n"
        "FILE2NAME=after.sh\r\nFILE2VERSION=0.0.0.0\r\n");
    Write("Updates/prep.sh", "#!/bin/sh\n");
    Write("Updates/after.sh", "#!/bin/sh\n");
    struct Case {
        const char* what;
        std::function<void()> rewrite;  // what the first program does to the params file
        const char* message;
    } cases[] = {
        {"not ready",
         [this] {
             TIniFile(Program() + "BrinquetExpressUpdaterParams.ini").WriteString("Settings", "Update_Ready", "0");
         },
         "Installation Ready"},
        {"ready in other words, and a message",
         [this] {
             TIniFile params(Program() + "BrinquetExpressUpdaterParams.ini");
             params.WriteString("Settings", "Update_Ready", "yes");
             params.WriteString("Settings", "Installer_Message", "Close every workstation first");
         },
         "Close every workstation first"},
        {"params file gone", [this] { std::filesystem::remove(Program() + "BrinquetExpressUpdaterParams.ini"); },
         "Unknown Installer Error"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        os.opened.clear();
        os.onRun = [&](const std::string&) { c.rewrite(); };
        LocalIni("");
        EXPECT_EQ(Run(), "");
        const auto& lines = form->ProgressMemo.Lines;
        auto at = std::find_if(lines.begin(), lines.end(),
                               [](const TRichMemo::Line& l) { return l.Text == "Error: Update cannot be installed."; });
        ASSERT_NE(at, lines.end());
        EXPECT_TRUE(at->Bold);
        EXPECT_EQ(at->Color, clRed);
        ASSERT_NE(at + 1, lines.end());
        EXPECT_EQ((at + 1)->Text, c.message);
        EXPECT_EQ((at + 1)->Color, clRed);
        ASSERT_NE(at + 2, lines.end());
        EXPECT_EQ((at + 2)->Text, kBrinquet + " is up to date.");
        EXPECT_EQ(os.opened, std::vector<std::string>{Program() + "prep.sh /s"}) << "after.sh is never reached";
        EXPECT_FALSE(form->ProceedBitBtn.Enabled);
    }
}

TEST_F(Decisions, ClientExecutableOnANetworkInstallation) {
    ServerIni("FILECOUNT=1\r\nFILE0NAME=brinquetexpress.EXE\r\nFILE0VERSION=3.0.0.0\r\nFILE0EXECUTE=NEVER\r\n");
    site.Put("/cfg/brinquetexpress.EXE", Versioned(3, 0, 0, 0));
    struct Case {
        const char* what;
        std::string copy;    // the client copy in Admin/Client, empty: none
        std::string beside;  // the file in the program folder
        bool downloaded;
    } cases[] = {
        {"no client copy", "", Versioned(9, 0, 0, 0), true},
        {"older client copy", Versioned(2, 9, 0, 0), Versioned(9, 0, 0, 0), true},
        {"client copy current, whatever lies beside the updater", Versioned(3, 0, 0, 0), "", false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        std::filesystem::remove(Root() + "Admin/Client/BrinquetExpress.exe");
        std::filesystem::remove(Program() + "brinquetexpress.EXE");
        if (!c.copy.empty()) Write("Admin/Client/BrinquetExpress.exe", c.copy);
        if (!c.beside.empty()) Write("Updates/brinquetexpress.EXE", c.beside);
        LocalIni("CONSOLE=\r\n");
        EXPECT_EQ(Run(), "");
        EXPECT_EQ(Read("Updates/brinquetexpress.EXE") == Versioned(3, 0, 0, 0), c.downloaded);
    }
    // Not a network installation: the ordinary rules do not apply either; nothing newer.
    TIniFile(Program() + "BrinquetExpressUpdaterParams.ini").WriteString("Settings", "Network_Install", "0");
    auto f = CreateForm<ProductForm>();
    f->InitializeIt();
    EXPECT_EQ(f->CompareFileVersions({}, {}, "BrinquetExpress.exe", serverini::TServerIniEntry{}), vcNotNewer);
    TIniFile(Program() + "BrinquetExpressUpdaterParams.ini").WriteString("Settings", "Network_Install", "1");
    std::filesystem::remove(Root() + "Admin/Client/BrinquetExpress.exe");
    EXPECT_EQ(f->CompareFileVersions({}, {}, "BrinquetExpress.exe", serverini::TServerIniEntry{}), vcDownload);
}

TEST_F(Decisions, ProceedRunsTheWaitingEntryAndTheListGoesOn) {
    OfferScriptUpdater();
    ServerIni(
        "FILECOUNT=2\r\n"
        "FILE0NAME=" +
        kScript +
        "\r\nFILE0VERSION=5.1.0.0\r\nFILE0HELP_LOCATION=http://help.example/\r\n"
        "FILE1NAME=next.sh\r\nFILE1VERSION=0.0.0.0\r\n");
    Write("Updates/next.sh", "#!/bin/sh\n");
    bool shownWhileWaiting = false;
    runtime.onPump = [&] {
        if (form->ProceedBitBtn.Enabled && !form->Decided()) {
            runtime.onPump = nullptr;
            shownWhileWaiting = form->MoreInfoLabel.Visible &&
                                form->JobLabel.Caption == "Ready to run update process from downloaded files." &&
                                InMemo("Ready to update " + kBrinquet + ".  Click Proceed to update");
            EXPECT_TRUE(os.opened.empty()) << "nothing runs before Proceed";
            form->ProceedBitBtn.Click();
        }
    };
    LocalIni("");
    EXPECT_EQ(Run(), "");
    EXPECT_TRUE(shownWhileWaiting);
    EXPECT_EQ(form->HelpLocation(), "http://help.example/");
    EXPECT_FALSE(form->MoreInfoLabel.Visible);
    EXPECT_EQ(os.opened, (std::vector<std::string>{ScriptOpened(), Program() + "next.sh /s"}));
    EXPECT_TRUE(InMemo("Upgrading " + kBrinquet + "..."));
    EXPECT_TRUE(InMemo(kBrinquet + " is now updated to version 5.1.0.0."));
    EXPECT_TRUE(InMemo("Finished all update processes."));
    EXPECT_TRUE(form->UpdateSucceeded());
    EXPECT_EQ(form->JobLabel.Caption, "Done.");
    EXPECT_FALSE(form->ProceedBitBtn.Enabled);
    EXPECT_EQ(Read("Updates/BrinquetExpressUpdater_Local.ini"),
              Support() + "FILE0RAN=TRUE\r\nFILE0RANNAME=" + std::string(kScriptUpdaterName) +
                  "\r\nFILE1RAN=TRUE\r\nFILE1RANNAME=next.sh\r\n");
}

TEST_F(Decisions, CloseEndsTheWaitAndTheClosingStepStillRuns) {
    OfferScriptUpdater();
    ServerIni("FILECOUNT=2\r\nFILE0NAME=" + kScript +
              "\r\nFILE0VERSION=5.1.0.0\r\n"
              "FILE1NAME=next.sh\r\nFILE1VERSION=0.0.0.0\r\n");
    Write("Updates/next.sh", "#!/bin/sh\n");
    ClickCloseWhenWaiting();
    LocalIni("");
    EXPECT_EQ(Run(), "");
    EXPECT_FALSE(form->Showing);
    EXPECT_EQ(os.opened, std::vector<std::string>{Program() + "next.sh /s"}) << "the list went on";
    EXPECT_TRUE(InMemo("Finished all update processes."));
    EXPECT_EQ(form->JobLabel.Caption, "Done.");
    EXPECT_EQ(Read("Updates/BrinquetExpressUpdater_Local.ini"),
              Support() + "FILE0RAN=FALSE\r\nFILE0RANNAME=" + std::string(kScriptUpdaterName) +
                  "\r\nFILE1RAN=TRUE\r\nFILE1RANNAME=next.sh\r\n");
}

TEST_F(Decisions, CloseBeforeTheWaitLeavesNoWait) {
    OfferScriptUpdater();
    ServerIni("FILECOUNT=1\r\nFILE0NAME=" + kScript + "\r\nFILE0VERSION=5.1.0.0\r\n");
    runtime.onPump = [this] {
        runtime.onPump = nullptr;
        form->CloseBtn.Click();  // at the first round of messages, long before the wait
    };
    LocalIni("");
    EXPECT_EQ(Run(), "");
    EXPECT_FALSE(form->Showing);
    EXPECT_TRUE(os.opened.empty());
    EXPECT_EQ(form->JobLabel.Caption, "Done.");
}

TEST_F(Decisions, ANonVisualRunProceedsByItself) {
    OfferScriptUpdater();
    ServerIni("FILECOUNT=1\r\nFILE0NAME=" + kScript + "\r\nFILE0VERSION=5.1.0.0\r\n");
    LocalIni("CONSOLE=\r\n");
    EXPECT_EQ(Run(), "");
    EXPECT_EQ(os.opened, std::vector<std::string>{ScriptOpened()});
    EXPECT_TRUE(Logged("Nobody can press Proceed in a non-visual run: the update went ahead unattended."));
    EXPECT_TRUE(Logged(kBrinquet + " is now updated to version 5.1.0.0."));
    EXPECT_EQ(runtime.Pumps, 1) << "only the file loop's own round; no wait";
}

TEST_F(Decisions, AFailedRunTellsTheInstallerMessage) {
    OfferScriptUpdater();
    ServerIni("FILECOUNT=1\r\nFILE0NAME=" + kScript + "\r\nFILE0VERSION=5.1.0.0\r\nFILE0WAIT=5000\r\n");
    os.codes = {0};
    os.onRun = [this](const std::string&) {
        TIniFile(Program() + "BrinquetExpressUpdaterParams.ini").WriteString("Settings", "Installer_Message", "Locked");
    };
    ClickProceedWhenWaiting();
    LocalIni("");
    EXPECT_EQ(Run(), "");
    EXPECT_EQ(os.waited, std::vector<std::string>{ScriptOpened()});
    const auto& lines = form->ProgressMemo.Lines;
    auto at = std::find_if(lines.begin(), lines.end(), [](const TRichMemo::Line& l) {
        return l.Text == "Locked\r" + kBrinquet + " was not updated.";
    });
    ASSERT_NE(at, lines.end());
    EXPECT_TRUE(at->Bold && at->Color == clRed);
    EXPECT_FALSE(form->UpdateSucceeded());
}

TEST_F(Decisions, StatusTexts) {
    Write(kParams, "[Settings]\r\nInstaller_Message=Disk full\r\n");
    auto f = CreateForm<ProductForm>();
    f->InitializeIt();
    f->ServerIniList().Add("FILE0VERSION=5.1.0.0");
    struct Case {
        int type;
        const char *alias, *extra;
        std::string text;
        const char* caption;  // nullptr: unchanged
        bool succeeded;
    } cases[] = {
        {stNoNewerVersion, kScriptUpdaterName, "False", kBrinquet + " is up to date.", nullptr, false},
        {stNoNewerVersion, kScriptUpdaterName, "True", kBrinquet + " update was downloaded earlier but did not finish.",
         nullptr, false},
        {stRunning, "brinquetexpressscriptupdater.EXE", "True", "Upgrading " + kBrinquet + "...", nullptr, false},
        {stRunFailed, kScriptUpdaterName, "", "Disk full\r" + kBrinquet + " was not updated.", "Problem", false},
        {stUpdateFailed, kScriptUpdaterName, "",
         "Update could not successfully complete. " + kBrinquet + " was not updated.", "Problem", false},
        {stDownloading, kScriptUpdaterName, "", "", nullptr, false},
        {stDownloaded, kScriptUpdaterName, "", "", nullptr, false},
        {stFinished, kScriptUpdaterName, "", "", nullptr, false},
        {9, kScriptUpdaterName, "", "", nullptr, false},
        {stFinishedRunning, kScriptUpdaterName, "", kBrinquet + " is now updated to version 5.1.0.0.", nullptr, true},
        {stFinished, "", "", "Finished all update processes.", nullptr, true},
        {stRunning, "other.exe", "True", "Running other.exe", nullptr, true},
    };
    const serverini::TServerIniEntry entry = serverini::TServerIni::EntryAt(f->ServerIniList(), 0);
    for (const auto& c : cases) {
        SCOPED_TRACE(std::to_string(c.type) + " " + c.alias + " " + c.extra);
        f->JobLabel.Caption = "before";
        EXPECT_EQ(f->GetStatusMessage(c.type, c.alias, c.extra, &entry), c.text);
        EXPECT_EQ(f->JobLabel.Caption, c.caption ? c.caption : "before");
        EXPECT_EQ(f->UpdateSucceeded(), c.succeeded);
    }
    Write(kParams, "[Settings]\r\nInstaller_Message=\r\n");
    EXPECT_EQ(f->GetStatusMessage(stRunFailed, kScriptUpdaterName, "", &entry), kBrinquet + " was not updated.");
    EXPECT_EQ(f->GetParamsForFileRun("other.exe"), " /s");
}

TEST_F(Decisions, ServerLocationOrder) {
    auto f = CreateForm<ProductForm>();
    struct Case {
        const char *param, *local, *server, *expected;
    } cases[] = {
        {"SERVERPATH=http://p/", "SERVERPATH=http://l/", "SERVERPATH=http://s/", "http://p/"},
        {"", "SERVERPATH= http://l/ ", "SERVERPATH=http://s/", " http://l/ "},
        {"", "", "SERVERPATH=http://s/ ", "http://s/ "},
        {"", "SERVERPATH=", "", "http://updates.halvane.com/updates/BrinquetExpress/"},
    };
    for (const auto& c : cases) {
        f->ParamList().SetText(c.param);
        f->LocalIniList().SetText(c.local);
        f->ServerIniList().SetText(c.server);
        EXPECT_EQ(f->GetServerPath(), c.expected) << c.local << " / " << c.server;
    }
}
}  // namespace
