#include "ui/runtime.h"

#include "ui/application.h"
#include "ui/components.h"
#include "ui/headless_runtime.h"

namespace ui {

namespace {
TWindowRuntime* g_runtime = nullptr;
TWindowRuntime* (*g_visual_factory)() = nullptr;
}  // namespace

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

std::string NoWindowText(const std::string& Reason) {
    return "No window can be shown: " + Reason +
           ". To run unattended without a window, add a CONSOLE key (the line \"CONSOLE=\") to the local INI "
           "file beside the program (its name is the program name followed by \"_Local.ini\").";
}

void HandleApplicationException(const std::exception& E) {
    TApplicationEvents* events = Application().Events;
    if (!events || !events->OnException) throw;
    events->OnException(E);
}

void RunContained(const std::function<void()>& Handler, const std::function<void(const std::string&)>& Unhandled) {
    try {
        Handler();
    } catch (const std::exception& e) {
        try {
            HandleApplicationException(e);
        } catch (const std::exception& unhandled) {
            Unhandled(unhandled.what());
        } catch (...) {
            Unhandled("Unknown error");
        }
    } catch (...) {
        Unhandled("Unknown error");
    }
}

void PressButton(TButton& Button) {
    if (!Button.Visible || !Button.Enabled) return;
    TControl* form = &Button;
    while (form && form->Kind() != TComponentKind::Form) form = form->Parent;
    if (form) static_cast<TForm*>(form)->ModalResult = Button.ModalResult;
    Button.Click();
}

}  // namespace ui
