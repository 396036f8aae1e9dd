// The update and the publisher's check read a server INI through the same rules: what fails
// one fails the other, with the same words, and what one takes the other passes.
#include "tests/engine/update_fixture.h"
#include "tests/support/run_command.h"
#include "tests/support/temp_dir.h"

namespace {
TEST_F(Update, TheCheckFailsWhatTheUpdateFailsWithItsWords) {
    const std::string one = kHeader + "FILECOUNT=1\r\nFILE0NAME=";
    const std::string two = kHeader + "FILECOUNT=2\r\nFILE0NAME=app.sh\r\nFILE0VERSION=0.0.0.0\r\n";
    const std::string own = "\", which is one of the updater's own files.";
    struct Case {
        const char* what;
        std::string ini;
        std::string error;  // empty: both go through
    } cases[] = {
        {"a sound entry", two + "FILE1NAME=b.sh\r\n", ""},
        {"only warnings", two + "FILE0EXECUTE=never\r\nFILE1NAME=b.sh\r\nFILE1WAIT=10s\r\n", ""},
        {"the transfer file", one + "Temp\r\n", "Problem with configuration file.  FILE0NAME names \"Temp" + own},
        {"the local INI", one + "updater_local.INI\r\n",
         "Problem with configuration file.  FILE0NAME names \"updater_local.INI" + own},
        {"the log", one + "Updater.log\r\n", "Problem with configuration file.  FILE0NAME names \"Updater.log" + own},
        {"the transfer file with a dot", one + "Temp.\r\n",
         "Problem with configuration file.  FILE0NAME names \"Temp.\", which Windows reads as another name (a part "
         "ending in a dot or a blank, or a colon)."},
        {"outside the folder", one + "../evil.sh\r\n",
         "Problem with configuration file.  FILE0NAME names \"../evil.sh\", which is not a file inside the program "
         "folder."},
        {"no FILECOUNT", kHeader, "Problem with configuration file.  No files in Server Ini File Count."},
        {"FILECOUNT not a number", kHeader + "FILECOUNT=abc\r\n", "''abc'' is not a valid integer value"},
        {"the second name missing", two, "Problem with configuration file.  No filename in Server Ini File Count."},
        {"a rollout with a unit", two + "FILE1NAME=b.sh\r\nFILE1ROLLOUT=50%\r\n",
         "Problem with configuration file.  FILE1ROLLOUT \"50%\" is not a percentage from 0 to 100."},
        {"a broken hash of a file already current", two + "FILE0SHA256=abc\r\nFILE1NAME=b.sh\r\n",
         "Problem with configuration file.  FILE0SHA256 \"abc\" is not 64 hexadecimal digits."},
        {"a size with a unit", two + "FILE1NAME=b.sh\r\nFILE1SIZE=12kB\r\n",
         "Problem with configuration file.  FILE1SIZE \"12kB\" is not a size in bytes."},
    };
    TempDir publisher;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        site.Put("/cfg/Updater.ini", c.ini);
        dir.Write("app.sh", "installed");
        dir.Write("b.sh", "installed");
        runtime.Messages.clear();
        RunNonVisual();
        EXPECT_EQ(errorUpdating, !c.error.empty()) << LastError();
        if (!c.error.empty()) {
            EXPECT_EQ(LastError(), "Update error: " + c.error);
        }

        // The publisher's copy carries the name the updater fetches it under.
        publisher.Write("Updater.ini", c.ini);
        const CommandResult check =
            RunCommand(std::string(ZELUPDTOOL) + " check-ini " + publisher.File("Updater.ini") + " 2>&1");
        EXPECT_EQ(check.code, c.error.empty() ? 0 : 1) << check.output;
        if (!c.error.empty()) {
            EXPECT_NE(check.output.find("error: " + c.error + "\n"), std::string::npos) << check.output;
        }
    }
}
}  // namespace
