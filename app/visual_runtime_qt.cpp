#include "app/visual_runtime.h"
#include "ui/qt/qt_runtime.h"

namespace {
int g_argc = 0;
char** g_argv = nullptr;

TWindowRuntime* MakeQtRuntime() {
    // Made once, when the updater turns out to be visual, and kept to the end of the
    // process: Qt's own globals must not go before the application object does.
    static TQtRuntime* runtime = new TQtRuntime(g_argc, g_argv);
    return runtime;
}
}  // namespace

void RegisterVisualRuntime(int& argc, char** argv) {
    g_argc = argc;
    g_argv = argv;
    SetVisualRuntimeFactory(&MakeQtRuntime);
}
