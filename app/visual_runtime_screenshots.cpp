// The updater for pictures: visual mode runs the screenshot runtime with the plan from the
// environment (see ui/qt/screenshot_plan.h).
#include "app/visual_runtime.h"
#include "ui/qt/screenshot_runtime.h"

using namespace ui;
using namespace ui::qt;

namespace app {

namespace {
int* g_argc = nullptr;
char** g_argv = nullptr;

TWindowRuntime* MakeScreenshotRuntime() {
    // Kept to the end of the process: Qt's own globals must not go before the application
    // object does.
    static auto* runtime = new TScreenshotRuntime(*g_argc, g_argv, TScreenshotPlan::FromEnvironment());
    return runtime;
}
}  // namespace

void RegisterVisualRuntime(int& argc, char** argv) {
    g_argc = &argc;
    g_argv = argv;
    SetVisualRuntimeFactory(&MakeScreenshotRuntime);
}

}  // namespace app
