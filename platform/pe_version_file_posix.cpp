#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

#include "platform/pe_version.h"
#include "platform/unique_fd.h"

namespace platform {

namespace {
class FileSource final : public TPeByteSource {
public:
    FileSource(int fd, uint64_t size, TPeReadStats* stats) : fd_(fd), size_(size), stats_(stats) {}
    uint64_t Size() const override { return size_; }
    bool ReadAt(uint64_t offset, void* buffer, size_t count) override {
        if (offset > size_ || count > size_ - offset) return false;
        if (stats_) ++stats_->Reads;
        auto* p = static_cast<char*>(buffer);
        while (count > 0) {
            const ssize_t n = ::pread(fd_, p, count, off_t(offset));
            if (n < 0 && errno == EINTR) continue;
            if (n <= 0) return false;  // the file shrank under us, or a read error
            if (stats_) stats_->BytesRead += uint64_t(n);
            p += n, offset += uint64_t(n), count -= size_t(n);
        }
        return true;
    }

private:
    int fd_;
    uint64_t size_;
    TPeReadStats* stats_;
};
}  // namespace

bool ReadPeFileVersion(const std::string& FileName, TPeFileVersion& Version, TPeReadStats* Stats) {
    UniqueFd fd(::open(FileName.c_str(), O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK));
    if (!fd.Valid()) return false;
    struct stat st {};
    // Only regular files: a FIFO or device could block or never end.
    if (::fstat(fd.Get(), &st) != 0 || !S_ISREG(st.st_mode)) return false;
    FileSource source(fd.Get(), uint64_t(st.st_size), Stats);
    return ReadPeVersion(source, Version);
}

}  // namespace platform
