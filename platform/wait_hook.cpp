#include "platform/wait_hook.h"

#include <utility>

namespace platform {

namespace {
TWaitHook& Installed() {
    static TWaitHook hook;
    return hook;
}
}  // namespace

void SetWaitHook(TWaitHook Hook) { Installed() = std::move(Hook); }

bool HasWaitHook() { return bool(Installed()); }

bool RunWaitHook() {
    // A copy: the hook may install another while it runs.
    const TWaitHook hook = Installed();
    return hook ? hook() : false;
}

TScopedWaitHook::TScopedWaitHook(TWaitHook Hook) : saved_(std::exchange(Installed(), std::move(Hook))) {}

TScopedWaitHook::~TScopedWaitHook() { Installed() = std::move(saved_); }

}  // namespace platform
