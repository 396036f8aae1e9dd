#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

#include "platform/pe_version_file_posix.h"
#include "platform/unique_fd.h"

namespace platform {

namespace {
class FileSource final : public TPeFileSource {
public:
    FileSource(int fd, uint64_t size, TPeReadStats* stats) : TPeFileSource(size, stats), fd_(fd) {}

private:
    size_t ReadSome(uint64_t offset, char* buffer, size_t count) override {
        for (;;) {
            const ssize_t n = ::pread(fd_, buffer, count, off_t(offset));
            if (n < 0 && errno == EINTR) continue;
            return n > 0 ? size_t(n) : 0;
        }
    }

    int fd_;
};
}  // namespace

bool ReadPeVersionOfOpenFile(int Fd, uint64_t Size, TPeFileVersion& Version, TPeReadStats* Stats) {
    FileSource source(Fd, Size, Stats);
    return ReadPeVersion(source, Version);
}

bool ReadPeFileVersion(const std::string& FileName, TPeFileVersion& Version, TPeReadStats* Stats) {
    UniqueFd fd(::open(FileName.c_str(), O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK));
    if (!fd.Valid()) return false;
    struct stat st {};
    // Only regular files: a FIFO or device could block or never end.
    if (::fstat(fd.Get(), &st) != 0 || !S_ISREG(st.st_mode)) return false;
    return ReadPeVersionOfOpenFile(fd.Get(), uint64_t(st.st_size), Version, Stats);
}

}  // namespace platform
