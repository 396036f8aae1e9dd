// The updater's own files and runs: never replaced by the server, never lost, and the program
// that runs is the one that was listed.
#include <sys/stat.h>

#include "server_ini/file_names.h"
#include "platform/errors.h"
#include "platform/file_utils.h"
#include "tests/engine/update_fixture.h"
#include "tests/support/scripted_server.h"

using namespace engine;
using namespace serverini;
using namespace platform;
using namespace ui;

namespace {
const std::string kOwnFile = "\", which is one of the updater's own files.";
const std::string kOtherName =
    "\", which Windows reads as another name (a part ending in a dot or a blank, or a colon).";

TEST_F(Update, ListedNamesThatAreNotFilesOfTheUpdateAreRefused) {
    const struct {
        const char* what;
        std::string name, error;
    } cases[] = {
        {"local INI", "Updater_Local.ini", "FILE0NAME names \"Updater_Local.ini" + kOwnFile},
        {"local INI in capitals", "UPDATER_LOCAL.INI", "FILE0NAME names \"UPDATER_LOCAL.INI" + kOwnFile},
        {"log", "updater.Log", "FILE0NAME names \"updater.Log" + kOwnFile},
        {"transfer file", "temp", "FILE0NAME names \"temp" + kOwnFile},
        {"transfer file behind ./", "./Temp", "FILE0NAME names \"./Temp" + kOwnFile},
        {"kept transfer file", "temp.PART", "FILE0NAME names \"temp.PART" + kOwnFile},
        {"resume record", "Temp.resume", "FILE0NAME names \"Temp.resume" + kOwnFile},
        {"params file", "UpdaterParams.ini", "FILE0NAME names \"UpdaterParams.ini" + kOwnFile},
        {"an escape sequence", "tool\x1b[2J.sh", "FILE0NAME holds a control character, which no file name may hold."},
        {"lock file", "updater.LOCK", "FILE0NAME names \"updater.LOCK" + kOwnFile},
        {"local INI, a trailing dot", "Updater_Local.ini.", "FILE0NAME names \"Updater_Local.ini." + kOtherName},
        {"local INI, dots and blanks", "Updater_Local.ini. . .",
         "FILE0NAME names \"Updater_Local.ini. . ." + kOtherName},
        {"log, a trailing dot", "Updater.log.", "FILE0NAME names \"Updater.log." + kOtherName},
        {"transfer file, a blank and a dot", "Temp .", "FILE0NAME names \"Temp ." + kOtherName},
        {"a folder ending in a blank", "sub /Updater_Local.ini",
         "FILE0NAME names \"sub /Updater_Local.ini" + kOtherName},
        {"a stream", "Updater_Local.ini:x", "FILE0NAME names \"Updater_Local.ini:x" + kOtherName},
        {"a link to the local INI", "link.ini", "FILE0NAME names \"link.ini" + kOwnFile},
    };
    std::filesystem::create_symlink("Updater_Local.ini", dir.File("link.ini"));
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        site.Put("/cfg/Updater.ini",
                 kHeader + "FILECOUNT=2\r\nFILE0NAME=" + c.name +
                     "\r\nFILE0VERSION=9.0.0.0\r\nFILE1NAME=missing.sh\r\nFILE1VERSION=9.0.0.0\r\n");
        site.Put("/cfg/" + c.name, "SERVER TEXT");
        local = "FILE7RAN=TRUE\r\n";
        runtime.Messages.clear();
        RunNonVisual();
        EXPECT_TRUE(errorUpdating);
        EXPECT_EQ(LastError(), "Update error: Problem with configuration file.  " + c.error);
        EXPECT_EQ(LocalIni(), "FILE7RAN=TRUE\r\nCONSOLE=\r\n");
        EXPECT_EQ(dir.Read("Updater.log").find("SERVER TEXT"), std::string::npos);
        EXPECT_FALSE(dir.Exists("Temp"));
    }
    EXPECT_TRUE(os.opened.empty());
}

TEST_F(Update, ListedNamesArriveThroughValidUrls) {
    // The server INI is read in the ANSI code page: \xE9 is an e with an acute accent.
    const struct {
        const char* what;
        std::string listed, local;
    } files[] = {
        {"blank", "my tool.sh", "my tool.sh"},
        {"percent", "100%.txt", "100%.txt"},
        {"hash and question mark", "a#b?.txt", "a#b?.txt"},
        {"non-ASCII", "caf\xE9.txt", "caf\xC3\xA9.txt"},
    };
    std::string ini = kHeader + "FILECOUNT=4\r\n";
    for (int i = 0; i < 4; ++i) {
        ini += FileKey(i, "NAME=") + files[i].listed + "\r\n" + FileKey(i, "VERSION=1.0.0.0\r\n") +
               FileKey(i, "EXECUTE=NEVER\r\n");
        site.Put("/cfg/" + files[i].local, std::string("content of ") + files[i].what);
    }
    site.Put("/cfg/Updater.ini", ini);
    RunNonVisual();
    EXPECT_FALSE(errorUpdating) << LastError();
    for (const auto& f : files) EXPECT_EQ(dir.Read(f.local), std::string("content of ") + f.what) << f.what;

    // The request line as sent; a blank in the server path goes out encoded as well.
    ScriptedServer server;
    server.Accept()
        .ExpectRequest()
        .Send(IniReply(kHeader + "FILECOUNT=1\r\nFILE0NAME=my tool #1 100%\xE9.sh\r\n"
                                 "FILE0VERSION=1.0.0.0\r\nFILE0EXECUTE=NEVER\r\n"))
        .Close();
    server.Accept().ExpectRequest().Send("HTTP/1.0 200 OK\r\nContent-Length: 2\r\n\r\nok").Close().Start();
    RunNonVisual(server.Url("/up dates/"));
    EXPECT_FALSE(errorUpdating) << LastError();
    EXPECT_EQ(server.Request(1).substr(0, 59), "GET /up%20dates/my%20tool%20%231%20100%25%C3%A9.sh HTTP/1.0");
    EXPECT_EQ(dir.Read("my tool #1 100%\xC3\xA9.sh"), "ok");
}

TEST_F(Update, AFileThatCannotBePutInPlaceIsADownloadError) {
    const struct {
        const char* what;
        std::string name;
        std::function<void()> prepare;
    } cases[] = {
        {"onto a folder", "plugin.sh", [this] { std::filesystem::create_directory(dir.File("plugin.sh")); }},
        {"below a file", "lib/tool.sh", [this] { dir.Write("lib", "a file, not a folder"); }},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        c.prepare();
        site.Put("/cfg/Updater.ini", kHeader + "FILECOUNT=1\r\nFILE0NAME=" + c.name + "\r\nFILE0VERSION=1.0.0.0\r\n");
        site.Put("/cfg/" + c.name, "new");
        dir.Write("Updater.log", "");
        runtime.Messages.clear();
        RunNonVisual();
        EXPECT_TRUE(errorUpdating);
        EXPECT_EQ(LastError().rfind("Update error: " + c.name +
                                        " was downloaded but could not be saved in the program "
                                        "folder. Cannot ",
                                    0),
                  0u)
            << LastError();
        EXPECT_FALSE(Logged("Successfully downloaded " + c.name));
        EXPECT_FALSE(dir.Exists("Temp"));
    }
    EXPECT_TRUE(os.opened.empty());
}

TEST_F(Update, MissingSubFoldersAreMadeInsideTheProgramFolder) {
    site.Put("/cfg/Updater.ini", kHeader + "FILECOUNT=1\r\nFILE0NAME=plugins/deep/x.sh\r\nFILE0VERSION=1.0.0.0\r\n");
    site.Put("/cfg/plugins/deep/x.sh", "plug-in");
    RunNonVisual();
    EXPECT_FALSE(errorUpdating) << LastError();
    EXPECT_EQ(dir.Read("plugins/deep/x.sh"), "plug-in");
    EXPECT_EQ(os.opened, std::vector<std::string>{dir.File("plugins/deep/x.sh")});
}

TEST_F(Update, AFailureBetweenFlushAndRenameLeavesTheOldFileWhole) {
    site.Put("/cfg/Updater.ini",
             kHeader + "FILECOUNT=1\r\nFILE0NAME=app.dll\r\nFILE0VERSION=1.0.0.0\r\nFILE0EXECUTE=NEVER\r\n");
    site.Put("/cfg/app.dll", std::string(100000, 'n'));
    dir.Write("app.dll", "old and complete");
    SetRenameFaultOnce();
    RunNonVisual();
    EXPECT_TRUE(errorUpdating);
    EXPECT_EQ(dir.Read("app.dll"), "old and complete");
    EXPECT_FALSE(dir.Exists("Temp"));
    RunNonVisual();
    EXPECT_FALSE(errorUpdating) << LastError();
    EXPECT_EQ(dir.Read("app.dll"), std::string(100000, 'n'));
}

TEST_F(Update, AServerIniOver16MiBIsRefusedBeforeItIsRead) {
    const size_t limit = 16u << 20;
    const std::string head = kHeader + "FILECOUNT=0\r\n;";
    site.Put("/cfg/Updater.ini", head + std::string(limit - head.size(), 'x'));
    RunNonVisual();
    EXPECT_FALSE(errorUpdating) << "16 MiB is still a configuration file: " << LastError();

    site.Put("/cfg/Updater.ini", head + std::string(limit + (1u << 20) - head.size(), 'x'));
    runtime.Messages.clear();
    RunNonVisual();
    EXPECT_TRUE(errorUpdating);
    EXPECT_EQ(LastError(),
              "Update error: Problem with configuration file.  It is 17825792 bytes long; a configuration "
              "file may hold at most 16 MiB (16777216 bytes).");
    EXPECT_EQ(beforeDefault, 0) << "no second try at the default location";
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.Path()), {}), 3)
        << "only the log, the local INI and the last-run record remain";
}

// A program folder whose name has a blank, and a program planted at the prefix before it.
TEST_F(Update, TheListedFileRunsNotAProgramAtAPrefixOfItsPath) {
    SetOSServices(nullptr);  // the real process runner
    Application().ExeName = dir.File("My Updates/Updater.exe");
    dir.Write("My", "#!/bin/sh\ntouch \"" + dir.File("planted-ran") + "\"\n", 0755);
    dir.Write("My Updates/Updater_Local.ini", "CONSOLE=\r\n");
    site.Put("/cfg/Updater.ini",
             kHeader + "FILECOUNT=1\r\nFILE0NAME=setup.sh\r\nFILE0VERSION=1.0.0.0\r\nFILE0WAIT=5000\r\n");
    site.Put("/cfg/setup.sh", "#!/bin/sh\necho \"$0\" > \"$(dirname \"$0\")/listed-ran\"\n");
    Run();
    EXPECT_FALSE(errorUpdating) << LastError();
    EXPECT_EQ(dir.Read("My Updates/listed-ran"), dir.File("My Updates/setup.sh") + "\n");
    EXPECT_FALSE(dir.Exists("planted-ran"));
}

using OwnFiles = EngineTest;

TEST_F(OwnFiles, ADownloadOntoTheTransferFileIsAnError) {
    ScriptedServer server;
    server.Accept().ExpectRequest().Send("HTTP/1.0 200 OK\r\nContent-Length: 3\r\n\r\nnew").Close().Start();
    Params({"DEBUG"});
    auto form = MakeForm();
    form->InitializeIt();
    try {
        form->DownloadFile(server.Url("/x"), "./Temp", "");
        ADD_FAILURE() << "no error";
    } catch (const EUpdaterError& e) {
        EXPECT_EQ(e.Message(),
                  "./Temp was downloaded but could not be saved in the program folder. It is the "
                  "updater's transfer file.");
    }
    EXPECT_FALSE(dir.Exists("Temp"));
    for (const auto& t : LogTexts()) EXPECT_NE(t, "Successfully downloaded ./Temp");
    form->LocalIniList().Clear();
}

TEST_F(OwnFiles, AProgramFileWithoutADotUsesItsWholeName) {
    ScriptedServer server;
    server.Accept().ExpectRequest().Send(IniReply("FOUNDIT\r\nFILECOUNT=0\r\n")).Close().Start();
    Application().ExeName = dir.File("BrinquetExpressUpdater");
    dir.Write("BrinquetExpressUpdater_Local.ini", "CONSOLE=\r\nSERVERPATH=" + server.Url("/upd/") + "\r\n");
    Params({"DEBUG"});
    MakeForm()->Start();
    EXPECT_EQ(server.Request(0).substr(0, 40), "GET /upd/BrinquetExpressUpdater.ini HTTP");
    EXPECT_FALSE(LogTexts("BrinquetExpressUpdater.log").empty());
    EXPECT_FALSE(dir.Exists(".log"));
    EXPECT_FALSE(dir.Exists("_Local.ini"));
    EXPECT_TRUE(runtime.Messages.empty()) << runtime.Messages.front();
}

TEST_F(OwnFiles, AnUnreadableLocalIniIsLeftByteForByte) {
    const std::string bytes = "CONSOLE=\r\nSERVERPATH=http://127.0.0.1:1/\r\nFILE0RAN=TRUE\r\n";
    dir.Write("Updater_Local.ini", bytes);
    Params({"DEBUG"});
    {
        auto form = MakeForm();
        SetReadFaultOnce();
        EXPECT_THROW(form->Start(), EUpdaterError);
    }  // the closing step runs here
    EXPECT_EQ(dir.Read("Updater_Local.ini"), bytes);
    EXPECT_EQ(LogTexts().back(), "The local INI file could not be read, so it is left as it was.");
}
}  // namespace

namespace {
TEST_F(Update, ABatchFileTheCommandInterpreterWouldReadAgainIsNeverRun) {
    const struct {
        const char* what;
        std::string name, wait;
        bool runs;
    } cases[] = {
        {"an ampersand, waited", "x&y.bat", "5000", false},
        {"a caret, through the shell", "x^y.bat", "0", false},
        {"a variable", "x%PATH%y.CMD", "5000", false},
        {"brackets and an exclamation mark", "a(1)!.cmd", "0", false},
        {"a plain batch file", "plain.bat", "5000", true},
        {"not a batch file", "x&y.exe", "0", true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        site.Put("/cfg/Updater.ini", kHeader + "FILECOUNT=1\r\nFILE0NAME=" + c.name +
                                         "\r\nFILE0VERSION=1.0.0.0\r\nFILE0WAIT=" + c.wait + "\r\n");
        site.Put("/cfg/" + c.name, "@exit /b 300\r\n");
        os.opened.clear();
        os.waited.clear();
        os.codes = {300};
        runtime.Messages.clear();
        local = "";
        RunNonVisual();
        EXPECT_EQ(errorUpdating, !c.runs);
        EXPECT_EQ(os.opened.size() + os.waited.size(), c.runs ? 1u : 0u);
        if (!c.runs) {
            EXPECT_EQ(LastError(), "Update error: Problem with configuration file.  FILE0NAME names the batch file \"" +
                                       c.name +
                                       "\", whose path or parameters hold a character the command interpreter reads "
                                       "as its own (& | < > ^ % ! \" ( ) or a control character).");
            EXPECT_EQ(LocalIni().find("FILE0RAN=TRUE"), std::string::npos);
        }
    }
}
}  // namespace
