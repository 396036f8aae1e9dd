#include "app/visual_runtime.h"

namespace app {

// Built without a window system: visual mode runs headless.
void RegisterVisualRuntime(int&, char**) {}

}  // namespace app
