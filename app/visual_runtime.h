#pragma once

namespace app {

// Registers the window system's runtime for visual mode; it is created only when the
// updater turns out to be visual, so non-visual runs never touch a display.
void RegisterVisualRuntime(int& argc, char** argv);

}  // namespace app
