// The built program, run unattended as an administrator would, on a machine without a display.
#include <gtest/gtest.h>

#include <filesystem>
#include <regex>

#include "tests/support/real_peers.h"
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

// The exit code an administrator's scheduled task sees, with and without EXITCODES, and the
// record the run leaves beside the program.
TEST(ProgramEntry, ExitCodesTellTheOutcomeOnlyWhenAsked) {
    TempDir site;
    NginxServer nginx(site.Path());
    ASSERT_TRUE(nginx.Started()) << nginx.Error();
    site.Write("check.sh", "#!/bin/sh\nexit 0\n");  // 0 is not a completed run
    const std::string header = "[Update]\r\nFOUNDIT=1\r\n";
    struct Case {
        const char* what;
        std::string ini;  // the server INI; empty: no server at all
        const char* outcome;
        int plain, asked;
    } cases[] = {
        {"up to date", header + "FILECOUNT=0\r\n", "UpToDate", 0, 0},
        {"a start error", "", "StartError", 1, 1},
        {"an update error", header, "UpdateError", 0, 2},
        {"a run that failed",
         header + "FILECOUNT=1\r\nFILE0NAME=check.sh\r\nFILE0VERSION=1.0.0.0\r\nFILE0WAIT=5000\r\n", "RunFailed", 0, 3},
    };
    for (const auto& c : cases) {
        for (const bool asked : {false, true}) {
            SCOPED_TRACE(std::string(c.what) + (asked ? " with EXITCODES" : ""));
            TempDir root;
            std::filesystem::create_directories(root.File("Updates"));
            std::filesystem::create_directories(root.File("Admin/Client"));
            root.Write("Admin/Client/install.ini", "[Settings]\r\nLocalNumber=12\r\n");
            std::filesystem::copy_file(UPDATER, root.File("Updates/BrinquetExpressUpdater.exe"));
            std::filesystem::permissions(root.File("Updates/BrinquetExpressUpdater.exe"),
                                         std::filesystem::perms::owner_all);
            root.Write("Updates/BrinquetExpressUpdater_Local.ini", "CONSOLE=\r\n");
            site.Write("BrinquetExpressUpdater.ini", c.ini.empty() ? header : c.ini);
            const std::string server = c.ini.empty() ? "http://127.0.0.1:1/" : nginx.Url("/");
            const CommandResult r = RunCommand("cd " + root.File("Updates") +
                                               " && env -u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM "
                                               "./BrinquetExpressUpdater.exe SERVERPATH=" +
                                               server + (asked ? " EXITCODES" : "") + " 2>&1");
            EXPECT_EQ(r.code, asked ? c.asked : c.plain) << r.output;
            const std::string record = root.Read("Updates/BrinquetExpressUpdater_LastRun.ini");
            EXPECT_NE(record.find("\r\nOutcome=" + std::string(c.outcome) + "\r\n"), std::string::npos) << record;
            EXPECT_NE(record.find("\r\nExitCode=" + std::to_string(r.code) + "\r\n"), std::string::npos) << record;
        }
    }
}

}  // namespace
