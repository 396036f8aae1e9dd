#include "app/visual_runtime.h"

// Built without a window system: visual mode runs headless.
void RegisterVisualRuntime(int&, char**) {}
