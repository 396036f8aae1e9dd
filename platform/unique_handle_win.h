#pragma once
// Move-only owners of Windows handles. Included by _win files only.
#include <windows.h>

#include <utility>

namespace platform {

template <typename T, T Invalid, typename Closer>
class TUniqueWinHandle {
public:
    TUniqueWinHandle() = default;
    explicit TUniqueWinHandle(T h) : h_(h) {}
    TUniqueWinHandle(TUniqueWinHandle&& o) noexcept : h_(std::exchange(o.h_, Invalid)) {}
    TUniqueWinHandle& operator=(TUniqueWinHandle&& o) noexcept {
        if (this != &o) Reset(std::exchange(o.h_, Invalid));
        return *this;
    }
    TUniqueWinHandle(const TUniqueWinHandle&) = delete;
    TUniqueWinHandle& operator=(const TUniqueWinHandle&) = delete;
    ~TUniqueWinHandle() { Reset(); }

    T Get() const { return h_; }
    T* Put() {
        Reset();
        return &h_;
    }
    bool Valid() const { return h_ != Invalid; }
    void Reset(T h = Invalid) {
        if (h_ != Invalid && h_ != h) Closer()(h_);
        h_ = h;
    }

private:
    T h_ = Invalid;
};

struct TCloseHandle {
    void operator()(HANDLE h) const { CloseHandle(h); }
};
struct TCloseRegKey {
    void operator()(HKEY k) const { RegCloseKey(k); }
};

// Process, thread and event handles: null when empty.
using TUniqueHandle = TUniqueWinHandle<HANDLE, nullptr, TCloseHandle>;
using TUniqueRegKey = TUniqueWinHandle<HKEY, nullptr, TCloseRegKey>;

struct TFindClose {
    void operator()(HANDLE h) const { FindClose(h); }
};

// Handles whose empty value is INVALID_HANDLE_VALUE, which no template argument can name.
template <typename Closer>
class TUniqueInvalidHandle {
public:
    TUniqueInvalidHandle() = default;
    explicit TUniqueInvalidHandle(HANDLE h) : h_(h) {}
    TUniqueInvalidHandle(TUniqueInvalidHandle&& o) noexcept : h_(std::exchange(o.h_, INVALID_HANDLE_VALUE)) {}
    TUniqueInvalidHandle& operator=(TUniqueInvalidHandle&& o) noexcept {
        if (this != &o) Reset(std::exchange(o.h_, INVALID_HANDLE_VALUE));
        return *this;
    }
    TUniqueInvalidHandle(const TUniqueInvalidHandle&) = delete;
    TUniqueInvalidHandle& operator=(const TUniqueInvalidHandle&) = delete;
    ~TUniqueInvalidHandle() { Reset(); }

    HANDLE Get() const { return h_; }
    bool Valid() const { return h_ != INVALID_HANDLE_VALUE; }
    void Reset(HANDLE h = INVALID_HANDLE_VALUE) {
        if (h_ != INVALID_HANDLE_VALUE && h_ != h) Closer()(h_);
        h_ = h;
    }

private:
    HANDLE h_ = INVALID_HANDLE_VALUE;
};

// CreateFileW's handles, and FindFirstFileExW's.
using TUniqueFileHandle = TUniqueInvalidHandle<TCloseHandle>;
using TUniqueFindHandle = TUniqueInvalidHandle<TFindClose>;

}  // namespace platform
