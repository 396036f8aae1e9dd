#include <windows.h>

#include <cwchar>

#include "platform/folder_lock.h"
#include "platform/os_error.h"
#include "platform/wide_text_win.h"

namespace platform {

void TFolderLock::Release() {
    if (handle_ == -1) return;
    const HANDLE h = reinterpret_cast<HANDLE>(handle_);
    if (state_ == TState::Held) ReleaseMutex(h);
    CloseHandle(h);
    handle_ = -1;
}

namespace {
// The folder as one spelling: full, long (not 8.3) and in capitals, as Windows compares names.
std::wstring CanonicalFolder(const std::string& Folder) {
    std::wstring path = WidePath(Folder);
    DWORD n = GetFullPathNameW(path.c_str(), 0, nullptr, nullptr);
    if (n > 0) {
        std::wstring out(n, L'\0');
        const DWORD m = GetFullPathNameW(path.c_str(), n, out.data(), nullptr);
        if (m > 0 && m < n) path.assign(out.data(), m);
    }
    n = GetLongPathNameW(path.c_str(), nullptr, 0);
    if (n > 0) {
        std::wstring out(n, L'\0');
        const DWORD m = GetLongPathNameW(path.c_str(), out.data(), n);
        if (m > 0 && m < n) path.assign(out.data(), m);
    }
    if (!path.empty()) {
        std::wstring upper(path.size(), L'\0');
        const int len = int(path.size());
        if (LCMapStringEx(LOCALE_NAME_INVARIANT, LCMAP_UPPERCASE, path.c_str(), len, upper.data(), len, nullptr,
                          nullptr, 0) == len)
            path = upper;
    }
    while (!path.empty() && path.back() == L'\\') path.pop_back();
    return path;
}

// A mutex name holds no backslash and at most MAX_PATH characters: the path's 64-bit FNV-1a.
std::wstring MutexName(const std::wstring& Folder) {
    uint64_t h = 14695981039346656037ull;
    for (wchar_t c : Folder) {
        h ^= uint16_t(c);
        h *= 1099511628211ull;
    }
    wchar_t name[64];
    std::swprintf(name, 64, L"Global\\zelUpdaterFolder.%016llx", static_cast<unsigned long long>(h));
    return name;
}
}  // namespace

TFolderLock LockFolder(const std::string& Folder) {
    TFolderLock lock;
    // Global: a second user's updater on the same machine (a terminal server) counts too. Not
    // inheritable, so no program the updater starts keeps it alive.
    const HANDLE h = CreateMutexW(nullptr, FALSE, MutexName(CanonicalFolder(Folder)).c_str());
    if (!h) {
        const DWORD err = GetLastError();
        // Another user's updater made it, with a security descriptor that leaves us out.
        if (err == ERROR_ACCESS_DENIED)
            lock.state_ = TFolderLock::TState::HeldByOther;
        else
            lock.reason_ = SystemErrorText(int(err));
        return lock;
    }
    lock.handle_ = reinterpret_cast<intptr_t>(h);
    // Ownership, not the name's existence, decides: an updater that ended abandoned its mutex,
    // and another that only looked at it a moment ago holds a handle without owning it.
    const DWORD r = WaitForSingleObject(h, 0);
    if (r == WAIT_OBJECT_0 || r == WAIT_ABANDONED) {
        lock.state_ = TFolderLock::TState::Held;
    } else {
        lock.state_ = r == WAIT_TIMEOUT ? TFolderLock::TState::HeldByOther : TFolderLock::TState::Unavailable;
        lock.Release();
    }
    return lock;
}

}  // namespace platform
