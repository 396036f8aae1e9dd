// The updater loads its window only to show one: unattended runs need no Qt at all, and a
// visual start that cannot show a window says so in one line instead of crashing.
#include <gtest/gtest.h>

#include <filesystem>

#include "tests/engine/update_site.h"
#include "tests/support/run_command.h"
#include "tests/support/temp_dir.h"

namespace {
namespace fs = std::filesystem;
constexpr const char* kNoWindow = "No window can be shown: ";

// A program folder holding the updater, and the window module when asked for.
struct ProgramFolder {
    explicit ProgramFolder(bool withModule) {
        fs::copy_file(UPDATER, dir.File("BrinquetExpressUpdater.exe"));
        if (withModule) fs::copy_file(WINDOW_MODULE, dir.File("zel_qt_window.so"));
    }
    CommandResult Run(const std::string& environment, const std::string& args) const {
        return RunCommand("cd " + dir.Path() + " && env -u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM " +
                          environment + " ./BrinquetExpressUpdater.exe " + args + " 2>&1");
    }
    TempDir dir;
};

TEST(WindowModule, TheUpdaterLinksNoQtLibrary) {
    const CommandResult r = RunCommand(std::string("ldd ") + UPDATER);
    ASSERT_EQ(r.code, 0) << r.output;
    EXPECT_NE(r.output.find("libc.so"), std::string::npos) << r.output;
    EXPECT_EQ(r.output.find("libQt"), std::string::npos) << r.output;
}

TEST(WindowModule, NoScreenshotSwitchInTheShippingFiles) {
    for (const char* file : {UPDATER, WINDOW_MODULE}) {
        const std::string bytes = ReadWholeFile(file);
        ASSERT_FALSE(bytes.empty()) << file;
        EXPECT_EQ(bytes.find("ZEL_SCREENSHOT"), std::string::npos) << file;
    }
}

TEST(WindowModule, NonVisualUpdateRunsWithoutTheModule) {
    UpdateSite site;
    site.Put("/BrinquetExpressUpdater.ini",
             "FOUNDIT=1\r\nFILECOUNT=1\r\nFILE0NAME=data.bin\r\n"
             "FILE0VERSION=1.0.0.1\r\nFILE0EXECUTE=NEVER\r\n");
    site.Put("/data.bin", std::string(300000, 'x'));
    ProgramFolder program(false);
    program.dir.Write("BrinquetExpressUpdater_Local.ini", "CONSOLE=\r\n");
    // The product reads the workstation's number from its installation settings.
    fs::create_directories(program.dir.File("Admin/Client"));
    program.dir.Write("Admin/Client/install.ini", "[Settings]\r\nLocalNumber=42\r\n");
    const CommandResult r = program.Run("", "SERVERPATH=" + site.Url("/"));
    EXPECT_EQ(r.code, 0) << r.output;
    EXPECT_EQ(r.output.find("error"), std::string::npos) << r.output;
    EXPECT_EQ(program.dir.Read("data.bin"), std::string(300000, 'x'));
    EXPECT_NE(program.dir.Read("BrinquetExpressUpdater_Local.ini").find("FILE0RAN=FALSE"), std::string::npos);
}

TEST(WindowModule, VisualStartWithoutAWindowEndsWithOneLine) {
    const struct {
        const char* name;
        bool withModule;
        const char* environment;
        const char* reason;
    } cases[] = {
        {"no display at all", true, "", "there is no display"},
        {"module missing", false, "QT_QPA_PLATFORM=offscreen", "the window module could not be loaded"},
        {"display that does not answer", true, "DISPLAY=:31987", "the display :31987 cannot be reached"},
        {"Qt cannot start its platform", true, "QT_QPA_PLATFORM=nosuchplatform", "the window system could not start"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        ProgramFolder program(c.withModule);
        const CommandResult r = program.Run(c.environment, "DEBUG SERVERPATH=http://127.0.0.1:1/");
        EXPECT_EQ(r.code, 1) << "an exit, not a crash: " << r.output;
        ASSERT_FALSE(r.output.empty());
        EXPECT_EQ(r.output.find('\n'), r.output.size() - 1) << "one line: " << r.output;
        EXPECT_EQ(r.output.rfind("Brinquet\xC2\xAE Express Updater: ", 0), 0u) << r.output;
        EXPECT_NE(r.output.find(std::string(kNoWindow) + c.reason), std::string::npos) << r.output;
        EXPECT_NE(r.output.find("CONSOLE"), std::string::npos) << "how to run unattended: " << r.output;
        EXPECT_FALSE(program.dir.Exists("core")) << r.output;
        // Only Qt's own failure at start ends the process from inside Qt, before any log.
        if (std::string(c.reason) != "the window system could not start") {
            const std::string log = program.dir.Read("BrinquetExpressUpdater.log");
            EXPECT_NE(log.find(std::string(":  Exception:  ") + kNoWindow + c.reason), std::string::npos) << log;
        }
    }
}
}  // namespace
