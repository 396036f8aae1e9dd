#include <dlfcn.h>

#include <cstdlib>

#include "app/visual_runtime.h"
#include "platform/errors.h"
#include "ui/application.h"
#include "ui/runtime.h"
#include "ui/window_module.h"

using namespace platform;
using namespace ui;

namespace app {

namespace {
int* g_argc = nullptr;
char** g_argv = nullptr;

bool Set(const char* Name) {
    const char* v = std::getenv(Name);
    return v && *v;
}

// The window module is loaded here, the first time a window is about to be shown, and
// never unloaded: the runtime it makes lives to the end of the process.
TWindowRuntime* LoadWindowModule() {
    // Without any display Qt would abort; say so before loading it at all.
    if (!Set("DISPLAY") && !Set("WAYLAND_DISPLAY") && !Set("QT_QPA_PLATFORM"))
        throw EUpdaterError(NoWindowText("there is no display (neither DISPLAY nor WAYLAND_DISPLAY is set)"));
    const std::string path = ProgramFolder() + kWindowModuleFileName;
    // RTLD_NOW: a module that does not fit this program (or a missing Qt library) fails here,
    // not in the middle of an update.
    void* module = ::dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (!module) {
        const char* why = ::dlerror();
        throw EUpdaterError(
            NoWindowText("the window module could not be loaded (" + std::string(why ? why : path) + ")"));
    }
    auto entry = reinterpret_cast<TWindowModuleEntry>(::dlsym(module, kWindowModuleEntry));
    if (!entry) throw EUpdaterError(NoWindowText("the window module " + path + " has no entry " + kWindowModuleEntry));
    std::string error;
    TWindowRuntime* runtime = entry(g_argc, g_argv, &error);
    if (!runtime) throw EUpdaterError(NoWindowText(error));
    return runtime;
}
}  // namespace

void RegisterVisualRuntime(int& argc, char** argv) {
    g_argc = &argc;
    g_argv = argv;
    SetVisualRuntimeFactory(&LoadWindowModule);
}

}  // namespace app
