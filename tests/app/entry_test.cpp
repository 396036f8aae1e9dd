// The built program, run unattended as an administrator would, on a machine without a display.
#include <gtest/gtest.h>

#include <filesystem>
#include <regex>

#include "tests/support/run_command.h"
#include "tests/support/temp_dir.h"

namespace {
CommandResult Updater(const TempDir& dir, const std::string& args) {
    return RunCommand("cd " + dir.Path() +
                      " && env -u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM ./BrinquetExpressUpdater.exe " + args +
                      " 2>&1");
}

TEST(ProgramEntry, NonVisualRunWithAnUnreachableServerEndsWithOneAndAWellFormedLog) {
    TempDir dir;
    std::filesystem::copy_file(UPDATER, dir.File("BrinquetExpressUpdater.exe"));
    std::filesystem::permissions(dir.File("BrinquetExpressUpdater.exe"), std::filesystem::perms::owner_all);
    dir.Write("BrinquetExpressUpdater_Local.ini", "CONSOLE=\r\n");
    const CommandResult r = Updater(dir, "DEBUG SERVERPATH=http://127.0.0.1:1/");
    // The product's first server INI load comes before the engine's own error handling, so
    // an unreachable server ends an unattended run with exit code 1 and the error.
    EXPECT_EQ(r.code, 1) << r.output;
    EXPECT_NE(r.output.find("Brinquet\xC2\xAE Express Updater: BrinquetExpressUpdater is having trouble communicating"),
              std::string::npos)
        << r.output;

    const std::string log = dir.Read("BrinquetExpressUpdater.log");
    ASSERT_FALSE(log.empty());
    EXPECT_EQ(log.substr(log.size() - 2), "\r\n");
    // Every entry starts with the date and time, a colon and two blanks; the lines in between
    // belong to multi-line texts (the parameter list, the local INI, the error's CR).
    // The stamp follows the user's locale: short date, a blank, long time.
    static const std::regex entry(R"(^\d[\d./-]*\d \d{1,2}:\d\d:\d\d( [AP]M)?:  \S)");
    int entries = 0;
    for (size_t start = 0; start < log.size();) {
        const size_t end = log.find("\r\n", start);
        const std::string line = log.substr(start, end - start);
        entries += std::regex_search(line, entry);
        start = end + 2;
    }
    EXPECT_GE(entries, 5) << log;
    EXPECT_NE(log.find(":  Loaded Params as DEBUG\r\nSERVERPATH=http://127.0.0.1:1/\r\n\r\n"), std::string::npos)
        << log;
    EXPECT_NE(log.find(":  Exception:  BrinquetExpressUpdater is having trouble"), std::string::npos) << log;
    EXPECT_EQ(dir.Read("BrinquetExpressUpdater_Local.ini"), "CONSOLE=\r\n") << "not saved after the error";
}
}  // namespace
