// Whole updates against a real web server on loopback: the server INI, its proof and its
// fall-back, the file list, the run decisions and what the local INI remembers.
#include "tests/engine/update_fixture.h"
#include "tests/platform/pe_image_builder.h"

using namespace engine;
using namespace platform;
using namespace ui;

namespace {

TEST_F(Update, DownloadsWhatIsNewerAndRunsByPolicy) {
    pe::SimpleImage lib;
    lib.Resources = {pe::VersionResource(0x00020000, 0x00000001)};
    site.Put("/cfg/Updater.ini", kHeader +
                                     "FILECOUNT=4\r\n"
                                     "FILE0NAME=lib.dll\r\nFILE0VERSION=2.0.0.1\r\nFILE0EXECUTE=NEVER\r\n"
                                     "FILE1NAME= tool.sh \r\nFILE1VERSION=0.0.0.0\r\n"
                                     "FILE2NAME=always.sh\r\nFILE2EXECUTE=ALWAYS\r\n"  // version carried over
                                     "FILE3NAME=waited.sh\r\nFILE3VERSION=1.0.0.0\r\nFILE3WAIT=5000\r\n");
    site.Put("/cfg/lib.dll", pe::BuildSimple(lib));
    site.Put("/cfg/waited.sh", "waited bytes");
    dir.Write("tool.sh", "installed");
    dir.Write("always.sh", "installed");
    os.codes = {300};
    RunNonVisual();
    EXPECT_FALSE(errorUpdating) << LastError();
    EXPECT_EQ(dir.Read("lib.dll"), pe::BuildSimple(lib));
    EXPECT_EQ(dir.Read("waited.sh"), "waited bytes");
    EXPECT_TRUE(Logged("lib.dll does not run in this installation."));
    EXPECT_EQ(os.opened, (std::vector<std::string>{dir.File("tool.sh"), dir.File("always.sh")}));
    EXPECT_EQ(os.waited, std::vector<std::string>{dir.File("waited.sh")});
    EXPECT_TRUE(Logged("Finished running waited.sh")) << "exit code 300 counts as completed";
    EXPECT_EQ(LocalIni(),
              "CONSOLE=\r\nFILE0RAN=FALSE\r\nFILE0RANNAME=lib.dll\r\nFILE1RAN=TRUE\r\nFILE1RANNAME=tool.sh\r\n"
              "FILE2RAN=TRUE\r\nFILE2RANNAME=always.sh\r\nFILE3RAN=TRUE\r\nFILE3RANNAME=waited.sh\r\n");
    EXPECT_FALSE(dir.Exists("Temp"));

    // The second update: the library is current, the run-once file already ran.
    local = "";
    os.opened.clear();
    os.waited.clear();
    os.codes = {0};
    dir.Write("Updater.log", "");
    Run();
    EXPECT_FALSE(errorUpdating) << LastError();
    EXPECT_FALSE(Logged("Successfully downloaded lib.dll")) << "2.0.0.1 is installed";
    EXPECT_TRUE(Logged("tool.sh already ran."));
    EXPECT_TRUE(Logged("No newer version of tool.sh is available."));
    EXPECT_FALSE(Logged("always.sh already ran.")) << "ALWAYS never says so";
    EXPECT_EQ(os.opened, std::vector<std::string>{dir.File("always.sh")});
    EXPECT_TRUE(Logged("Successfully downloaded waited.sh")) << "a file without a version resource is always older";
    EXPECT_TRUE(Logged("waited.sh did not complete execution.")) << "exit code 0 is not completion";
    EXPECT_EQ(LocalIni(),
              "CONSOLE=\r\nFILE0RAN=FALSE\r\nFILE0RANNAME=lib.dll\r\nFILE1RAN=TRUE\r\nFILE1RANNAME=tool.sh\r\n"
              "FILE2RAN=TRUE\r\nFILE2RANNAME=always.sh\r\nFILE3RAN=FALSE\r\nFILE3RANNAME=waited.sh\r\n")
        << "each key set moves to the end";
}

// An entry without FILE{n}VERSION is offered at the version of the nearest entry before it
// that names one; only a version other than 0.0.0.0 tells this from offering nothing.
TEST_F(Update, AnEntryWithoutAVersionIsOfferedThePreviousEntrysVersion) {
    struct Installed {
        const char* name;
        uint32_t ms;  // the installed version's major.minor
    } installed[] = {{"a.dll", 0x00020000}, {"b.dll", 0x00010000}, {"c.dll", 0x00010000}, {"d.dll", 0x00010000}};
    for (const auto& f : installed) {
        pe::SimpleImage image;
        image.Resources = {pe::VersionResource(f.ms, 0)};
        dir.Write(f.name, pe::BuildSimple(image));
        site.Put("/cfg/" + std::string(f.name), "new " + std::string(f.name));
    }
    site.Put("/cfg/Updater.ini", kHeader +
                                     "FILECOUNT=4\r\n"
                                     "FILE0NAME=a.dll\r\nFILE0VERSION=2.0.0.0\r\nFILE0EXECUTE=NEVER\r\n"
                                     "FILE1NAME=b.dll\r\nFILE1EXECUTE=NEVER\r\n"
                                     "FILE2NAME=c.dll\r\nFILE2VERSION=1.0.0.0\r\nFILE2EXECUTE=NEVER\r\n"
                                     "FILE3NAME=d.dll\r\nFILE3EXECUTE=NEVER\r\n");
    RunNonVisual();
    EXPECT_FALSE(errorUpdating) << LastError();
    const struct {
        const char* name;
        bool downloaded;
        const char* why;
    } cases[] = {
        {"a.dll", false, "2.0.0.0 is installed"},
        {"b.dll", true, "offered at entry 0's 2.0.0.0, newer than its 1.0.0.0"},
        {"c.dll", false, "1.0.0.0 is installed"},
        {"d.dll", false, "offered at entry 2's 1.0.0.0, not entry 0's"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(dir.Read(c.name) == "new " + std::string(c.name), c.downloaded) << c.name << ": " << c.why;
}

TEST_F(Update, RunDecisionTable) {
    struct Case {
        const char* what;
        const char* execute;  // nullptr: no key
        const char* ran;      // nullptr: no marker
        bool runs;
        bool alreadyRanLogged;
    } cases[] = {
        {"no marker: runs", nullptr, nullptr, true, false},
        {"FALSE: runs", nullptr, "FALSE", true, false},
        {"TRUE: does not", nullptr, "TRUE", false, true},
        {"True in mixed case: neither", nullptr, "True", false, false},
        {"True with ALWAYS: runs", "ALWAYS", "True", true, false},
        {"TRUE with ALWAYS: runs", "ALWAYS", "TRUE", true, false},
        {"never in small letters is an ordinary value", "never", nullptr, true, false},
        {"NEVER: never", "NEVER", "FALSE", false, false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        std::string ini = kHeader + "FILECOUNT=1\r\nFILE0NAME=app.sh\r\nFILE0VERSION=0.0.0.0\r\n";
        if (c.execute) ini += "FILE0EXECUTE=" + std::string(c.execute) + "\r\n";
        site.Put("/cfg/Updater.ini", ini);
        dir.Write("app.sh", "installed");
        local = c.ran ? "FILE0RAN=" + std::string(c.ran) + "\r\n" : "";
        dir.Write("Updater.log", "");
        os.opened.clear();
        RunNonVisual();
        EXPECT_FALSE(errorUpdating) << LastError();
        EXPECT_EQ(os.opened.size(), c.runs ? 1u : 0u);
        EXPECT_EQ(Logged("app.sh already ran."), c.alreadyRanLogged);
        EXPECT_EQ(Logged("No newer version of app.sh is available."),
                  !c.runs && std::string(c.execute ? c.execute : "") != "NEVER");
    }
}

TEST_F(Update, ConfigurationErrors) {
    struct Case {
        const char* what;
        std::string ini;
        std::string error;
    } cases[] = {
        {"FILECOUNT missing", kHeader, "Problem with configuration file.  No files in Server Ini File Count."},
        {"FILECOUNT empty", kHeader + "FILECOUNT=\r\n",
         "Problem with configuration file.  No files in Server Ini File Count."},
        {"FILECOUNT abc", kHeader + "FILECOUNT=abc\r\n", "''abc'' is not a valid integer value"},
        {"a name missing", kHeader + "FILECOUNT=1\r\nFILE0VERSION=1.0.0.0\r\n",
         "Problem with configuration file.  No filename in Server Ini File Count."},
        {"parent folder", kHeader + "FILECOUNT=1\r\nFILE0NAME=../evil.sh\r\nFILE0VERSION=9.0.0.0\r\n",
         "Problem with configuration file.  FILE0NAME names \"../evil.sh\", which is not a file inside the program "
         "folder."},
        {"absolute", kHeader + "FILECOUNT=1\r\nFILE0NAME=/tmp/evil.sh\r\n",
         "Problem with configuration file.  FILE0NAME names \"/tmp/evil.sh\", which is not a file inside the program "
         "folder."},
        {"drive letter", kHeader + "FILECOUNT=1\r\nFILE0NAME=C:evil.exe\r\n",
         "Problem with configuration file.  FILE0NAME names \"C:evil.exe\", which is not a file inside the program "
         "folder."},
        {"backslash", kHeader + "FILECOUNT=1\r\nFILE0NAME=sub\\..\\..\\evil.exe\r\n",
         "Problem with configuration file.  FILE0NAME names \"sub\\..\\..\\evil.exe\", which is not a file inside the "
         "program folder."},
        {"hidden inside", kHeader + "FILECOUNT=1\r\nFILE0NAME=sub/../../evil.sh\r\n",
         "Problem with configuration file.  FILE0NAME names \"sub/../../evil.sh\", which is not a file inside the "
         "program folder."},
    };
    site.Put("/evil.sh", "must never arrive");
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        site.Put("/cfg/Updater.ini", c.ini);
        local = "";
        runtime.Messages.clear();
        RunNonVisual();
        EXPECT_TRUE(errorUpdating);
        EXPECT_EQ(LastError(), "Update error: " + c.error);
        EXPECT_EQ(LocalIni(), "CONSOLE=\r\n") << "nothing saved after an error";
    }
    EXPECT_TRUE(os.opened.empty());
    EXPECT_FALSE(std::filesystem::exists(dir.Path() + "../evil.sh"));
}

TEST_F(Update, FileCountZeroProcessesNothingAndSaves) {
    site.Put("/cfg/Updater.ini", kHeader + "FILECOUNT=0\r\nSERVERPATH=" + site.Url("/cfg/") + "\r\n");
    RunNonVisual();
    EXPECT_FALSE(errorUpdating) << LastError();
    EXPECT_EQ(LocalIni(), "CONSOLE=\r\nSERVERPATH=" + site.Url("/cfg/") + "\r\n") << "SERVERPATH is merged";
}

TEST_F(Update, ProofAndFallBack) {
    struct Case {
        const char* what;
        std::string configured;  // empty: not served (404)
        std::string fallback;    // empty: not served
        bool error;
        bool triedDefault;
        const char* errorText;
    } cases[] = {
        {"marker in a comment is proof", "; FOUNDIT\r\nFILECOUNT=0\r\n", "", false, false, ""},
        {"small letters are not: fall back", "foundit\r\nFILECOUNT=0\r\n", kHeader + "FILECOUNT=0\r\n", false, true,
         ""},
        {"an error page at both", "<html>Sorry</html>", "<html>Sorry</html>", true, true,
         "Update error: Connected to server at default location - configuration file was not found or is "
         "incorrect. Update server may be being updated. Please try again later. If this problem persists, "
         "please call support."},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        site.Put("/cfg/Updater.ini", c.configured);
        site.Put("/default/Updater.ini", c.fallback);
        runtime.Messages.clear();
        RunNonVisual();
        EXPECT_EQ(errorUpdating, c.error) << LastError();
        EXPECT_EQ(usedDefault, c.triedDefault);
        EXPECT_EQ(beforeDefault, c.triedDefault ? 1 : 0);
        if (c.error) {
            EXPECT_EQ(LastError(), c.errorText);
        }
        EXPECT_EQ(Logged("Connected to server - configuration file was not found or is incorrect. - Will attempt to "
                         "connect to the default server location."),
                  c.triedDefault);
        EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.Path()), {}), 3)
            << "only the log, the local INI and the last-run record remain: no temporary INI, no transfer file";
    }
}

TEST_F(Update, AnUnreachableLocationFailsWithoutFallBack) {
    RunNonVisual("http://127.0.0.1:1/");
    EXPECT_TRUE(errorUpdating);
    EXPECT_EQ(beforeDefault, 0);
    EXPECT_NE(LastError().find("The specific error message is: TCP/IP Socket error 10061: Connection refused"),
              std::string::npos)
        << LastError();
}

TEST_F(Update, LeftoversOfACrashedRunAreReplaced) {
    dir.Write("Temp", "half a download");
    site.Put("/cfg/Updater.ini",
             kHeader + "FILECOUNT=1\r\nFILE0NAME=app.dll\r\nFILE0VERSION=1.0.0.0\r\nFILE0EXECUTE=NEVER\r\n");
    site.Put("/cfg/app.dll", "new");
    RunNonVisual();
    EXPECT_FALSE(errorUpdating) << LastError();
    EXPECT_EQ(dir.Read("app.dll"), "new");
    EXPECT_FALSE(dir.Exists("Temp"));
}

TEST_F(Update, OldCopiesMovedAsideGoOnlyForListedNames) {
    // Left by earlier runs that replaced a file in use; the folder is looked at once.
    dir.Write("app.dll.old", "in use once");
    dir.Write("data.txt.old", "in use once");
    dir.Write("APP.DLL2.old", "another name");
    dir.Write("unlisted.exe.old", "not listed");
    dir.Write("data.txt", "current");
    site.Put("/cfg/Updater.ini", kHeader +
                                     "FILECOUNT=2\r\nFILE0NAME=app.dll\r\nFILE0VERSION=1.0.0.0\r\nFILE0EXECUTE=NEVER\r\n"
                                     "FILE1NAME=data.txt\r\nFILE1VERSION=0.0.0.0\r\nFILE1EXECUTE=NEVER\r\n");
    site.Put("/cfg/app.dll", "new");
    RunNonVisual();
    EXPECT_FALSE(errorUpdating) << LastError();
    EXPECT_FALSE(dir.Exists("app.dll.old")) << "a downloaded name";
    EXPECT_FALSE(dir.Exists("data.txt.old")) << "a name that was current";
    EXPECT_TRUE(dir.Exists("APP.DLL2.old")) << "a name nobody listed";
    EXPECT_TRUE(dir.Exists("unlisted.exe.old")) << "a name nobody listed";
    EXPECT_EQ(dir.Read("app.dll"), "new");
}

TEST_F(Update, ATimedOutRunFailsTheUpdate) {
    SetOSServices(nullptr);                             // the real process runner
    dir.Write("slow.sh", "#!/bin/sh\nexec sleep 5\n");  // exec: the killed process is the sleeper itself
    site.Put("/cfg/Updater.ini",
             kHeader + "FILECOUNT=1\r\nFILE0NAME=slow.sh\r\nFILE0VERSION=0.0.0.0\r\nFILE0WAIT=200\r\n");
    RunNonVisual();
    EXPECT_TRUE(errorUpdating);
    EXPECT_EQ(LastError(), "Update error: " + dir.File("slow.sh") + " exceeded timeout setting and has been closed.");
}

// Visual mode, with the headless runtime answering for the user.
TEST_F(Update, RequestAnsweredNoStopsTheListAndSaves) {
    for (const char* message : {"Install the new tool?", ""}) {
        SCOPED_TRACE(message);
        site.Put("/cfg/Updater.ini", kHeader +
                                         "FILECOUNT=2\r\nFILE0NAME=a.sh\r\nFILE0VERSION=0.0.0.0\r\n"
                                         "FILE0REQUEST=TRUE\r\nFILE0MESSAGE=" +
                                         message +
                                         "\r\n"
                                         "FILE1NAME=b.sh\r\nFILE1VERSION=0.0.0.0\r\n");
        dir.Write("a.sh", "installed");
        dir.Write("b.sh", "installed");
        dir.Write("Updater_Local.ini", "");
        runtime.Answers = {false};
        runtime.Confirmations.clear();
        runtime.InLoop(
            [this] { static_cast<TzelCustUpdaterDialogForm*>(Application().MainForm)->ProceedBitBtn.Click(); });
        Run();
        EXPECT_FALSE(errorUpdating) << LastError();
        EXPECT_EQ(runtime.Confirmations, std::vector<std::string>{message});
        EXPECT_TRUE(os.opened.empty()) << "neither the declined file nor the next one ran";
        bool reported = false;
        for (const auto& l : memo) reported |= l.Text == message;
        EXPECT_EQ(reported, *message != '\0');
        EXPECT_EQ(LocalIni(), "") << "saved, with nothing to remember";
    }
}

TEST_F(Update, StopDuringADownloadEndsItAndDeletesTheFile) {
    site.Put("/cfg/Updater.ini", kHeader + "FILECOUNT=1\r\nFILE0NAME=big.bin\r\nFILE0VERSION=1.0.0.0\r\n");
    site.Put("/cfg/big.bin", std::string(4 << 20, 'x'));
    dir.Write("Updater_Local.ini", "");
    TzelCustUpdaterDialogForm* form = nullptr;
    // Clicks Stop at the second pump after big.bin's download has begun.
    std::function<void()> watch = [&] {
        if (form->CurrentFileOfInterest() == "big.bin" && form->ProgressBar.Position > 0)
            form->StopBitBtn.Click();
        else
            runtime.AtPump(runtime.Pumps + 1, watch);
    };
    runtime.InLoop([&] {
        form = static_cast<TzelCustUpdaterDialogForm*>(Application().MainForm);
        runtime.AtPump(runtime.Pumps + 1, watch);
        form->ProceedBitBtn.Click();
    });
    Run();
    EXPECT_FALSE(dir.Exists("big.bin"));
    EXPECT_FALSE(dir.Exists("Temp"));
    // The user's own Stop, not a network fault: one line says so, and no error box.
    EXPECT_FALSE(errorUpdating);
    EXPECT_EQ(LastError(), "");
    ASSERT_FALSE(memo.empty());
    EXPECT_EQ(memo.back().Text, kUserStopText);
}

// The progress of a download is shown in a visual run only: an unattended run's log has no
// progress lines.
TEST_F(Update, DownloadProgressIsShownInAVisualRunOnly) {
    site.Put("/cfg/Updater.ini", kHeader +
                                     "FILECOUNT=1\r\nFILE0NAME=a.dll\r\nFILE0VERSION=1.0.0.0\r\n"
                                     "FILE0EXECUTE=NEVER\r\n");
    // Many reads, so progress events come; 195.6 KiB, shown rounded.
    const std::string bytes(200300, 'x');
    site.Put("/cfg/a.dll", bytes);
    for (const bool visual : {true, false}) {
        SCOPED_TRACE(visual ? "visual" : "non-visual");
        std::filesystem::remove(dir.File("a.dll"));
        dir.Write("Updater.log", "");
        if (visual) {
            dir.Write("Updater_Local.ini", "");
            runtime.InLoop(
                [] { static_cast<TzelCustUpdaterDialogForm*>(Application().MainForm)->ProceedBitBtn.Click(); });
            Run();
        } else {
            RunNonVisual();
        }
        EXPECT_FALSE(errorUpdating) << LastError();
        EXPECT_EQ(dir.Read("a.dll"), bytes);
        EXPECT_EQ(Logged("Downloading 196 KBytes."), visual);
    }
}

TEST_F(Update, ProceedStepRules) {
    site.Put("/cfg/Updater.ini",
             kHeader + "FILECOUNT=1\r\nFILE0NAME=a.sh\r\nFILE0VERSION=0.0.0.0\r\nFILE0EXECUTE=ALWAYS\r\n");
    dir.Write("a.sh", "installed");
    dir.Write("Updater_Local.ini", "");
    std::vector<int> steps;
    runtime.InLoop([&] {
        auto* form = static_cast<TzelCustUpdaterDialogForm*>(Application().MainForm);
        form->ProceedBitBtn.Click();  // runs a.sh: step 2
        steps.push_back(form->CurrentStep());
        form->ProceedBitBtn.Click();  // step 2, no stop: nothing
        form->StopBitBtn.Click();
        form->ProceedBitBtn.Click();  // after Stop: step 1 again, a full update
        steps.push_back(form->CurrentStep());
        form->Close();
    });
    Run();
    EXPECT_EQ(steps, (std::vector<int>{2, 2}));
    EXPECT_EQ(os.opened.size(), 2u);
}

// Only REQUEST=TRUE as written asks first; any other text runs the entry at once.
TEST_F(Update, OnlyRequestTrueAsWrittenAsks) {
    const struct {
        const char* request;
        bool asked;
    } cases[] = {{"TRUE", true}, {"true", false}, {"", false}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.request);
        site.Put("/cfg/Updater.ini", kHeader +
                                         "FILECOUNT=1\r\nFILE0NAME=a.sh\r\nFILE0VERSION=0.0.0.0\r\n"
                                         "FILE0REQUEST=" +
                                         c.request + "\r\nFILE0MESSAGE=Install?\r\n");
        dir.Write("a.sh", "installed");
        dir.Write("Updater_Local.ini", "");
        os.opened.clear();
        runtime.Confirmations.clear();
        runtime.Answers = {false};
        runtime.InLoop([] { static_cast<TzelCustUpdaterDialogForm*>(Application().MainForm)->ProceedBitBtn.Click(); });
        Run();
        EXPECT_EQ(runtime.Confirmations.size(), c.asked ? 1u : 0u);
        EXPECT_EQ(os.opened.size(), c.asked ? 0u : 1u) << "declined, or run at once";
    }
}

// An entry that comes to be run ends step 1 even when the user declines it: a second Proceed
// then starts no second update.
TEST_F(Update, ADeclinedEntryStillEndsTheFirstStep) {
    site.Put("/cfg/Updater.ini", kHeader +
                                     "FILECOUNT=1\r\nFILE0NAME=a.sh\r\nFILE0VERSION=0.0.0.0\r\n"
                                     "FILE0REQUEST=TRUE\r\nFILE0MESSAGE=Install?\r\n");
    dir.Write("a.sh", "installed");
    dir.Write("Updater_Local.ini", "");
    runtime.Answers = {false, true};
    int step = 0;
    runtime.InLoop([&] {
        auto* form = static_cast<TzelCustUpdaterDialogForm*>(Application().MainForm);
        form->ProceedBitBtn.Click();  // declined
        step = form->CurrentStep();
        form->ProceedBitBtn.Click();
        form->Close();
    });
    Run();
    EXPECT_EQ(step, 2);
    EXPECT_EQ(runtime.Confirmations, std::vector<std::string>{"Install?"}) << "asked once, in one update";
    EXPECT_TRUE(os.opened.empty());
}
}  // namespace
