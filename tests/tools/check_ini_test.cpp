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
        {"no FILECOUNT", "FOUNDIT\r\n", 1, "error: FILECOUNT is missing or empty"},
        {"FILECOUNT not a number", "FOUNDIT\r\nFILECOUNT=two\r\n", 1, "error: FILECOUNT \"two\" is not a number"},
        {"a name missing", head, 1, "error: FILE0NAME is missing or empty"},
        {"unsafe name", head + "FILE0NAME=../x.exe\r\n", 1,
         "error: FILE0NAME \"../x.exe\" is not a file inside the program folder"},
        {"three-part version", head + "FILE0NAME=a.exe\r\nFILE0VERSION=1.2.3\r\n", 0,
         "warning: FILE0VERSION \"1.2.3\" reads as 1.2.0.3"},
        {"never in small letters", head + "FILE0NAME=a.exe\r\nFILE0EXECUTE=never\r\n", 0,
         "warning: FILE0EXECUTE \"never\" is not NEVER"},
        {"Always", head + "FILE0NAME=a.exe\r\nFILE0EXECUTE=Always\r\n", 0,
         "warning: FILE0EXECUTE \"Always\" is not ALWAYS"},
        {"true", head + "FILE0NAME=a.exe\r\nFILE0REQUEST=true\r\n", 0, "warning: FILE0REQUEST \"true\" is not TRUE"},
        {"WAIT with a unit", head + "FILE0NAME=a.exe\r\nFILE0WAIT=10s\r\n", 0,
         "warning: FILE0WAIT \"10s\" is not a number"},
    };
    TempDir dir;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        const CommandResult r = CheckIni(dir, c.ini);
        EXPECT_EQ(r.code, c.code) << r.output;
        EXPECT_NE(r.output.find(c.finding), std::string::npos) << r.output;
    }
}
}  // namespace
