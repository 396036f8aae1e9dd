// Non-visual mode never makes a Qt application, so it runs where there is no display.
#include <gtest/gtest.h>

#include <sys/wait.h>
#include <QCoreApplication>
#include <cstdlib>
#include <filesystem>
#include <string>

#include "engine/zel_cust_update_dialog.h"
#include "tests/support/temp_dir.h"
#include "ui/application.h"
#include "ui/headless_runtime.h"
#include "ui/qt/qt_runtime.h"
#include "ui/runtime.h"

using namespace engine;
using namespace ui::qt;
using namespace ui;

namespace {
int g_made = 0;
TWindowRuntime* MakeQt() {
    static int argc = 1;
    static char name[] = "ui_nonvisual_tests";
    static char* argv[] = {name, nullptr};
    ++g_made;
    static TQtRuntime runtime(argc, argv);
    return &runtime;
}

TEST(NonVisual, StartWithTheQtRuntimeRegisteredMakesNoQtApplication) {
    TempDir dir;
    dir.Write("Updater_Local.ini", "CONSOLE=\r\n");
    THeadlessRuntime headless;
    headless.EchoMessages = false;
    SetRuntime(&headless);
    Application().ExeName = dir.File("Updater.exe");
    Application().Params = {"SERVERPATH=http://127.0.0.1:1/"};
    SetVisualRuntimeFactory(&MakeQt);
    {
        auto form = CreateForm<TzelCustUpdaterDialogForm>();
        form->Start();
        EXPECT_FALSE(form->ShowForms());
        EXPECT_TRUE(form->ErrorUpdating()) << "nobody listens on port 1";
    }
    EXPECT_EQ(g_made, 0);
    EXPECT_EQ(QCoreApplication::instance(), nullptr);
    ASSERT_EQ(headless.Messages.size(), 1u);
    EXPECT_EQ(headless.Messages[0].rfind("Update error: ", 0), 0u) << headless.Messages[0];
    SetVisualRuntimeFactory(nullptr);
    SetRuntime(nullptr);
    Application().Params.clear();
}

// The program itself, with no display at all: had it made a Qt application, Qt would have
// found no display and aborted.
TEST(NonVisual, TheProgramRunsWithoutADisplay) {
    TempDir dir;
    // Installed under its own file name; the program name, and so the local INI's name, is
    // that name up to its first dot.
    const std::string name = std::filesystem::path(UPDATER_BINARY).filename();
    const std::string localIni = name.substr(0, name.find('.')) + "_Local.ini";
    std::filesystem::copy_file(UPDATER_BINARY, dir.File(name));
    dir.Write(localIni, "CONSOLE=\r\n");
    const std::string command = "cd '" + dir.Path() + "' && env -u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM './" +
                                name + "' SERVERPATH=http://127.0.0.1:1/ >out.txt 2>&1";
    const int status = std::system(command.c_str());
    ASSERT_TRUE(WIFEXITED(status)) << dir.Read("out.txt");
    // The product loads the server INI before the engine's update: failing there ends the run.
    EXPECT_EQ(WEXITSTATUS(status), 1) << dir.Read("out.txt");
    const std::string out = dir.Read("out.txt");
    EXPECT_NE(out.find("is having trouble communicating"), std::string::npos) << out;
    EXPECT_EQ(out.find("qt."), std::string::npos) << out;
    EXPECT_EQ(out.find("display"), std::string::npos) << out;
    // The local INI was read (non-visual) and kept.
    EXPECT_EQ(dir.Read(localIni), "CONSOLE=\r\n");
}
}  // namespace
