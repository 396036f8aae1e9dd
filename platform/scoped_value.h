#pragma once
// Gives a variable a value for the length of a scope and puts the old one back however the
// scope is left, an exception included. For flags that guard against re-entry and for
// settings lent to a call.
#include <utility>

namespace platform {

template <class T>
class ScopedValue {
public:
    ScopedValue(T& target, T value) : target_(target), saved_(std::exchange(target, std::move(value))) {}
    ScopedValue(const ScopedValue&) = delete;
    ScopedValue& operator=(const ScopedValue&) = delete;
    ~ScopedValue() { target_ = std::move(saved_); }

private:
    T& target_;
    T saved_;
};

}  // namespace platform
