// zelupdtool check-ini, run as publishers run it.
#include <gtest/gtest.h>

#include "tests/support/run_command.h"
#include "tests/support/temp_dir.h"

namespace {
CommandResult CheckIni(const TempDir& dir, const std::string& ini) {
    dir.Write("server.ini", ini);
    return RunCommand(std::string(ZELUPDTOOL) + " check-ini " + dir.File("server.ini") + " 2>&1");
}

TEST(CheckIni, ReportsWhatFailsOrMisleadsAnUpdate) {
    const std::string head = "FOUNDIT\r\nFILECOUNT=1\r\n";
    struct Case {
        const char* what;
        std::string ini;
        int code;
        const char* finding;  // a part of the report
    } cases[] = {
        {"sound file", head + "FILE0NAME=a.exe\r\nFILE0VERSION=1.2.3.4\r\nFILE0WAIT=100\r\n", 0,
         "no problem that fails an update"},
        {"no marker", "FILECOUNT=0\r\n", 1, "error: the marker FOUNDIT"},
        {"marker in small letters", "foundit\r\nFILECOUNT=0\r\n", 1, "error: the marker FOUNDIT"},
        {"no FILECOUNT", "FOUNDIT\r\n", 1,
         "error: Problem with configuration file.  No files in Server Ini File Count."},
        {"FILECOUNT not a number", "FOUNDIT\r\nFILECOUNT=two\r\n", 1, "error: ''two'' is not a valid integer value"},
        {"a name missing", head, 1, "error: Problem with configuration file.  No filename in Server Ini File Count."},
        {"unsafe name", head + "FILE0NAME=../x.exe\r\n", 1,
         "error: Problem with configuration file.  FILE0NAME names \"../x.exe\", which is not a file inside the program "
         "folder."},
        {"three-part version", head + "FILE0NAME=a.exe\r\nFILE0VERSION=1.2.3\r\n", 0,
         "warning: FILE0VERSION \"1.2.3\" reads as 1.2.0.3"},
        {"never in small letters", head + "FILE0NAME=a.exe\r\nFILE0EXECUTE=never\r\n", 0,
         "warning: FILE0EXECUTE \"never\" is not NEVER"},
        {"Always", head + "FILE0NAME=a.exe\r\nFILE0EXECUTE=Always\r\n", 0,
         "warning: FILE0EXECUTE \"Always\" is not ALWAYS"},
        {"true", head + "FILE0NAME=a.exe\r\nFILE0REQUEST=true\r\n", 0, "warning: FILE0REQUEST \"true\" is not TRUE"},
        {"WAIT with a unit", head + "FILE0NAME=a.exe\r\nFILE0WAIT=10s\r\n", 0,
         "warning: FILE0WAIT \"10s\" is not a number"},
        {"ROLLOUT above 100", head + "FILE0NAME=a.exe\r\nFILE0ROLLOUT=101\r\n", 1,
         "error: Problem with configuration file.  FILE0ROLLOUT \"101\" is not a percentage from 0 to 100."},
        {"ROLLOUT with a unit", head + "FILE0NAME=a.exe\r\nFILE0ROLLOUT=50%\r\n", 1,
         "error: Problem with configuration file.  FILE0ROLLOUT \"50%\" is not a percentage"},
        {"ROLLOUT 0 holds a release back", head + "FILE0NAME=a.exe\r\nFILE0ROLLOUT=0\r\n", 0,
         "no problem that fails an update"},
        {"true rollback", head + "FILE0NAME=a.exe\r\nFILE0DOWNGRADE=true\r\n", 0,
         "warning: FILE0DOWNGRADE \"true\" is not TRUE (letter case matters): an older version is not taken"},
        {"expired, no key", head + "FILE0NAME=a.exe\r\nEXPIRES=2020-01-31T00:00:00Z\r\n", 0,
         "warning: EXPIRES 2020-01-31T00:00:00Z: the server INI has expired"},
        {"expiry in another form", head + "FILE0NAME=a.exe\r\nEXPIRES=31.1.2027\r\n", 0,
         "warning: EXPIRES \"31.1.2027\" is not a UTC time such as 2027-01-31T00:00:00Z"},
        {"serial and expiry", head + "FILE0NAME=a.exe\r\nSERIAL=3\r\nEXPIRES=2999-01-01T00:00:00Z\r\n", 0,
         "server.ini: SERIAL 3\n"},
    };
    TempDir dir;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        const CommandResult r = CheckIni(dir, c.ini);
        EXPECT_EQ(r.code, c.code) << r.output;
        EXPECT_NE(r.output.find(c.finding), std::string::npos) << r.output;
    }
}

// The updater refuses a server INI of more than 16 MiB, so both tools call that an error, and
// warn from 90 % of it. Publish then writes nothing.
TEST(CheckIni, BothToolsReportTheSizeLimit) {
    constexpr size_t kLimit = 16 * 1024 * 1024;
    const std::string head = "FOUNDIT\r\nFILECOUNT=0\r\n";
    // A site of 100,000 entries whose files are published elsewhere, with their hashes and sizes.
    std::string large = "FOUNDIT\r\nFILECOUNT=100000\r\n";
    for (int n = 0; n < 100000; ++n) {
        const std::string e = "FILE" + std::to_string(n);
        large += e + "NAME=programs/brinquet/modules/module" + std::to_string(n) + ".dll\r\n" + e +
                 "VERSION=5.1.0.0\r\n" + e + "SHA256=" + std::string(64, 'a') + "\r\n" + e + "SIZE=123456\r\n";
    }
    struct Case {
        const char* what;
        std::string ini;
        int code;
        const char* finding;  // empty: neither warning nor error about the size
    } cases[] = {
        {"just below 90 %", head + ";" + std::string(kLimit * 9 / 10 - head.size() - 100, 'x') + "\r\n", 0, ""},
        {"95 %", head + ";" + std::string(kLimit * 95 / 100, 'x') + "\r\n", 0,
         "% of the 16 MiB the updater takes at most"},
        {"one byte above the limit", head + ";" + std::string(kLimit - head.size() - 2, 'x') + "\r\n", 1,
         "the updater refuses a configuration file of more than 16 MiB (16777216 bytes), so every update would fail"},
        {"100,000 entries", large, 1, "the updater refuses a configuration file of more than 16 MiB"},
    };
    TempDir dir;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        const CommandResult check = CheckIni(dir, c.ini);
        EXPECT_EQ(check.code, c.code) << check.output.substr(0, 2000);
        const CommandResult publish =
            RunCommand(std::string(ZELUPDTOOL) + " publish " + dir.File("server.ini") + " 2>&1");
        EXPECT_EQ(publish.code, c.code) << publish.output.substr(0, 2000);
        for (const CommandResult* r : {&check, &publish}) {
            if (*c.finding) {
                EXPECT_NE(r->output.find(c.finding), std::string::npos) << r->output.substr(0, 2000);
            } else {
                EXPECT_EQ(r->output.find("16 MiB"), std::string::npos) << r->output.substr(0, 2000);
            }
        }
        if (c.code != 0) {
            EXPECT_EQ(dir.Read("server.ini"), c.ini) << "nothing was written";
        }
    }
}
}  // namespace
