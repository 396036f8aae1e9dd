#pragma once
// The one user-interface thread also waits: for a program it runs, for a socket. A visual
// run installs a hook that these waits call between their short slices, so the window keeps
// taking its messages; the hook tells whether the user asked to stop. Nothing installed (an
// unattended run): the waits simply wait. No window system is known here.
#include <functional>

namespace platform {

// Runs pending window messages; true when the user has asked to stop what is being waited for.
using TWaitHook = std::function<bool()>;

// Installs Hook for every later wait (an empty one removes it).
void SetWaitHook(TWaitHook Hook);
bool HasWaitHook();
// Calls the hook in force; false when there is none.
bool RunWaitHook();

// Installs a hook for the length of a scope and puts the one before back.
class TScopedWaitHook {
public:
    explicit TScopedWaitHook(TWaitHook Hook);
    ~TScopedWaitHook();
    TScopedWaitHook(const TScopedWaitHook&) = delete;
    TScopedWaitHook& operator=(const TScopedWaitHook&) = delete;

private:
    TWaitHook saved_;
};

}  // namespace platform
