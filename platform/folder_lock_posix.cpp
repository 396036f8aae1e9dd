#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "platform/folder_lock.h"

namespace platform {

void TFolderLock::Release() {
    if (handle_ >= 0) ::close(int(handle_));  // closing the last descriptor drops the lock
    handle_ = -1;
}

TFolderLock LockFolder(const std::string& Folder) {
    TFolderLock lock;
    const std::string path = Folder + kFolderLockFile;
    // Close-on-exec: a program the updater starts must not keep the folder locked after it.
    // An existing lock file is opened as it is; only the first updater ever creates it.
    int fd = ::open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0644);
    if (fd < 0 && errno == EACCES) fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW);
    if (fd < 0) {
        lock.reason_ = std::strerror(errno);
        return lock;
    }
    lock.handle_ = fd;
    int r;
    while ((r = ::flock(fd, LOCK_EX | LOCK_NB)) != 0 && errno == EINTR) {
    }
    if (r == 0) {
        lock.state_ = TFolderLock::TState::Held;
    } else if (errno == EWOULDBLOCK) {
        lock.state_ = TFolderLock::TState::HeldByOther;
        lock.Release();
    } else {
        lock.reason_ = std::strerror(errno);
        lock.Release();
    }
    return lock;
}

}  // namespace platform
