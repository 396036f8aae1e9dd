// The lock's ownership, the same on every platform; Release and LockFolder are the platform's.
#include <utility>

#include "platform/folder_lock.h"

namespace platform {

TFolderLock::TFolderLock(TFolderLock&& Other) noexcept
    : handle_(std::exchange(Other.handle_, -1)),
      state_(std::exchange(Other.state_, TState::Unavailable)),
      reason_(std::move(Other.reason_)) {}

TFolderLock& TFolderLock::operator=(TFolderLock&& Other) noexcept {
    if (this != &Other) {
        Release();
        handle_ = std::exchange(Other.handle_, -1);
        state_ = std::exchange(Other.state_, TState::Unavailable);
        reason_ = std::move(Other.reason_);
    }
    return *this;
}

TFolderLock::~TFolderLock() { Release(); }

}  // namespace platform
