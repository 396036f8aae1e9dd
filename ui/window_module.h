#pragma once
// The Qt window is a module of its own, loaded only when a window is about to be shown, so
// an unattended run neither loads Qt nor needs it installed. The module resolves the forms'
// code against the program that loads it.
#include <string>

namespace ui {

class TWindowRuntime;

// The module's file name, looked for in the program folder.
inline constexpr const char* kWindowModuleFileName = "zel_qt_window.so";
// Its one entry, exported unmangled. Makes the runtime (kept to the end of the process), or
// returns nullptr with Error set to why no window can be shown.
inline constexpr const char* kWindowModuleEntry = "ZelCreateWindowRuntime";
using TWindowModuleEntry = TWindowRuntime* (*)(int* Argc, char** Argv, std::string* Error);

}  // namespace ui
