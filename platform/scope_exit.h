#pragma once
// Runs an action however a scope is left, an exception included: the temporary file deleted,
// the limit lent to one download taken back. For a variable that only gets its old value
// back, ScopedValue says it shorter.
#include <utility>

namespace platform {

template <class F>
class ScopeExit {
public:
    explicit ScopeExit(F action) : action_(std::move(action)) {}
    ScopeExit(const ScopeExit&) = delete;
    ScopeExit& operator=(const ScopeExit&) = delete;
    ~ScopeExit() { action_(); }

private:
    F action_;
};

}  // namespace platform
