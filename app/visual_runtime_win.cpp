// Visual mode on Windows: the window with Windows' own controls, made the first time a window
// is about to be shown and kept to the end of the process.
#include "app/visual_runtime.h"
#include "ui/win/win_runtime.h"

using namespace ui;
using namespace ui::win;

namespace app {

namespace {
TWindowRuntime* MakeWindowsRuntime() {
    static auto* runtime = new TWinRuntime;
    return runtime;
}
}  // namespace

void RegisterVisualRuntime(int&, char**) { SetVisualRuntimeFactory(&MakeWindowsRuntime); }

}  // namespace app
