#include "ui/runtime.h"

#include "ui/application.h"
#include "ui/components.h"
#include "ui/headless_runtime.h"

namespace {
TWindowRuntime* g_runtime = nullptr;
TWindowRuntime* (*g_visual_factory)() = nullptr;
}

TWindowRuntime& Runtime() {
    static THeadlessRuntime headless;
    return g_runtime ? *g_runtime : headless;
}

void SetRuntime(TWindowRuntime* R) { g_runtime = R; }

void SetVisualRuntimeFactory(TWindowRuntime* (*Factory)()) { g_visual_factory = Factory; }

void EnterVisualMode() {
    if (!g_visual_factory) return;
    SetRuntime(g_visual_factory());
    g_visual_factory = nullptr;
}

void HandleApplicationException(const std::exception& E) {
    TApplicationEvents* events = Application().Events;
    if (!events || !events->OnException) throw;
    events->OnException(E);
}
