// The decisions of the file loop, each a pure function checked by one table.
#include <gtest/gtest.h>

#include "server_ini/file_names.h"
#include "engine/run_decision.h"
#include "engine/zel_cust_update_dialog.h"

using namespace engine;
using namespace serverini;

namespace {
const std::vector<std::string> kOwn = {"Updater_Local.ini", "Updater.log", "Temp", "UpdaterParams.ini"};

TEST(Decisions, FileNameCheck) {
    using F = TFileNameFault;
    const struct {
        const char* what;
        std::string name;
        F fault;
    } cases[] = {
        {"plain", "tool.sh", F::None},
        {"in a sub-folder", "bin/tool.sh", F::None},
        {"a/./b is a/b", "a/./b", F::None},
        {"a//b is a/b", "a//b", F::None},
        {"dots inside a name", "..tool..sh", F::None},
        {"the updater's own executable", "Updater.exe", F::None},
        {"empty", "", F::LeavesProgramFolder},
        {"parent", "..", F::LeavesProgramFolder},
        {"parent hidden after a part", "a/../../x", F::LeavesProgramFolder},
        {"a//..", "a//..", F::LeavesProgramFolder},
        {"the folder itself", "./", F::LeavesProgramFolder},
        {"a lone dot", ".", F::LeavesProgramFolder},
        {"a trailing slash names a folder", "bin/", F::LeavesProgramFolder},
        {"absolute", "/etc/passwd", F::LeavesProgramFolder},
        {"drive letter", "C:x.exe", F::LeavesProgramFolder},
        {"backslash", "a\\b", F::LeavesProgramFolder},
        {"a part of 255 bytes", std::string(255, 'a'), F::None},
        {"a part of 256 bytes", std::string(256, 'a'), F::LeavesProgramFolder},
        {"a name of 1025 bytes",
         std::string(200, 'a') + "/" + std::string(200, 'b') + "/" + std::string(200, 'c') + "/" +
             std::string(200, 'd') + "/" + std::string(221, 'e'),
         F::LeavesProgramFolder},
        {"NUL", std::string("a\0b", 3), F::ControlCharacter},
        {"CR", "a\rb", F::ControlCharacter},
        {"LF", "a\nb", F::ControlCharacter},
        {"DEL", "a\x7f", F::ControlCharacter},
        {"local INI in other letters", "updater_LOCAL.INI", F::OwnFile},
        {"log", "Updater.log", F::OwnFile},
        {"transfer file", "TEMP", F::OwnFile},
        {"transfer file behind ./", "./Temp", F::OwnFile},
        {"params file", "updaterparams.ini", F::OwnFile},
        {"an own name in a sub-folder is another file", "sub/Temp", F::None},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        EXPECT_EQ(int(CheckFileName(c.name, kOwn)), int(c.fault));
    }
}

TEST(Decisions, UrlOfAFileName) {
    const struct {
        const char* what;
        std::string name, url;
    } cases[] = {
        {"plain", "tool-1.0_x~.sh", "tool-1.0_x~.sh"},
        {"folders stay", "bin/tool.sh", "bin/tool.sh"},
        {"blank", "my tool.sh", "my%20tool.sh"},
        {"percent", "100%.txt", "100%25.txt"},
        {"hash and question mark", "a#b?c", "a%23b%3Fc"},
        {"UTF-8 bytes", "caf\xC3\xA9.txt", "caf%C3%A9.txt"},
        {"what a path may hold", "a+b=c;d,e@f:g!$&'()*", "a+b=c;d,e@f:g!$&'()*"},
        {"quotes and brackets", "\"<[{|}]>\"^`", "%22%3C%5B%7B%7C%7D%5D%3E%22%5E%60"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        EXPECT_EQ(UrlEncodedFileName(c.name), c.url);
    }
}

TEST(Decisions, KeySpellingAndProgramName) {
    EXPECT_EQ(FileKey(0, "NAME"), "FILE0NAME");
    EXPECT_EQ(FileKey(10, "RAN"), "FILE10RAN") << "decimal, no leading zeros";
    EXPECT_EQ(FileKey(1, "HELP_LOCATION"), "FILE1HELP_LOCATION");
    const struct {
        const char* exe;
        const char* name;
    } names[] = {{"Updater.exe", "Updater"},
                 {"My.Updater.exe", "My"},
                 {"BrinquetExpressUpdater", "BrinquetExpressUpdater"},
                 {".hidden", ""}};
    for (const auto& n : names) EXPECT_EQ(ProgramNameOf(n.exe), n.name) << n.exe;
}

TEST(Decisions, RunDecision) {
    const struct {
        const char* what;
        int flags;
        const char* execute;
        const char* ran;
        bool run, alreadyRan, nothingNewer, never, markerEvaluated;
    } cases[] = {
        {"no marker runs", vcNotNewer, "", "", true, false, false, false, true},
        {"FALSE runs", vcNotNewer, "", "FALSE", true, false, false, false, true},
        {"TRUE does not", vcNotNewer, "", "TRUE", false, true, true, false, true},
        {"True in mixed case: neither ran nor not", vcNotNewer, "", "True", false, false, true, false, true},
        {"ALWAYS after TRUE runs, says nothing", vcNotNewer, "ALWAYS", "TRUE", true, false, false, false, true},
        {"always in small letters is ordinary", vcNotNewer, "always", "TRUE", false, true, true, false, true},
        {"NEVER: nothing at all", vcDownload, "NEVER", "FALSE", false, false, false, true, false},
        {"never in small letters is ordinary", vcNotNewer, "never", "", true, false, false, false, true},
        {"downloaded and ran: download only", vcDownload | vcDoNotRun, "", "FALSE", false, false, false, false, true},
        {"do-not-run beats ALWAYS", vcDoNotRun, "ALWAYS", "", false, false, true, false, true},
        {"run-anyway beats TRUE", vcRunAnyway, "", "TRUE", true, false, false, false, false},
        {"run-anyway beats blocked", vcRunAnyway | vcBlocked, "", "TRUE", true, false, false, false, false},
        {"run-anyway does not beat NEVER", vcRunAnyway, "NEVER", "", false, false, false, true, false},
        {"blocked skips the marker", vcBlocked, "ALWAYS", "", false, false, true, false, false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        const TRunDecision d = DecideRun(c.flags, c.execute, c.ran);
        EXPECT_EQ(d.Download, (c.flags & vcDownload) != 0);
        EXPECT_EQ(d.Run, c.run);
        EXPECT_EQ(d.AlreadyRan, c.alreadyRan);
        EXPECT_EQ(d.NothingNewer, c.nothingNewer);
        EXPECT_EQ(d.Never, c.never);
        EXPECT_EQ(d.MarkerEvaluated, c.markerEvaluated);
    }
}

TEST(Decisions, CompletedExitCodes) {
    const struct {
        int code;
        bool completed;
    } cases[] = {{0, false},  {1, false},    {255, false},   {259, false}, {260, true},
                 {300, true}, {65999, true}, {66000, false}, {-1, false}};
    for (const auto& c : cases) EXPECT_EQ(IsCompletedExitCode(c.code), c.completed) << "exit code " << c.code;
}
}  // namespace
