#pragma once
// One updater per program folder: a lock held for the whole run and released by the system
// when the process ends, however it ends, so a crash never leaves a stale lock behind.
#include <cstdint>
#include <string>

namespace platform {

// The file that carries the lock where the lock is a file lock (POSIX). It stays in the folder
// for good: deleting it would let a second updater lock a new file while the first still
// holds the old one.
inline constexpr char kFolderLockFile[] = "Updater.lock";

class TFolderLock {
public:
    enum class TState {
        Held,         // this process holds the folder's lock
        HeldByOther,  // another process holds it
        Unavailable,  // no lock can be had here (a read-only folder): nothing to share either
    };
    TFolderLock() = default;
    TFolderLock(TFolderLock&& Other) noexcept;
    TFolderLock& operator=(TFolderLock&& Other) noexcept;
    TFolderLock(const TFolderLock&) = delete;
    TFolderLock& operator=(const TFolderLock&) = delete;
    ~TFolderLock();

    TState State() const { return state_; }
    // The system's reason when the lock is Unavailable.
    const std::string& Reason() const { return reason_; }

private:
    friend TFolderLock LockFolder(const std::string& Folder);
    void Release();
    intptr_t handle_ = -1;  // the lock file's descriptor, or the mutex's handle
    TState state_ = TState::Unavailable;
    std::string reason_;
};

// Takes the lock of Folder (ending in its separator) without waiting. On Windows a named mutex
// derived from the folder's full path (every spelling of the folder gives the same one); on
// POSIX an exclusive lock on kFolderLockFile in the folder. Writes nothing when another holds it.
TFolderLock LockFolder(const std::string& Folder);

}  // namespace platform
