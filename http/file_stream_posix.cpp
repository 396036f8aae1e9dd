#include "http/stream.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

#include "http/body_pipe.h"
#include "platform/errors.h"

using namespace platform;

namespace http {

TFileStream::TFileStream(const std::string& FileName, TFileMode Mode) : name_(FileName) {
    if (Mode != TFileMode::OpenRead) {
        const int truncate = Mode == TFileMode::CreateWrite ? O_TRUNC : 0;
        fd_ = ::open(FileName.c_str(), O_RDWR | O_CREAT | truncate | O_CLOEXEC, 0644);
        if (fd_ < 0) throw EUpdaterError("Cannot create file \"" + FileName + "\". " + std::strerror(errno));
        struct stat st {};
        if (::fstat(fd_, &st) == 0) size_ = st.st_size;
    } else {
        fd_ = ::open(FileName.c_str(), O_RDONLY | O_CLOEXEC);
        if (fd_ < 0) throw EUpdaterError("Cannot open file \"" + FileName + "\". " + std::strerror(errno));
        struct stat st {};
        if (::fstat(fd_, &st) == 0) size_ = st.st_size;
    }
}

TFileStream::~TFileStream() {
    if (fd_ >= 0) ::close(fd_);
}

size_t TFileStream::Read(void* Buffer, size_t Count) {
    ssize_t n;
    do n = ::read(fd_, Buffer, Count);
    while (n < 0 && errno == EINTR);
    if (n <= 0) return 0;
    pos_ += n;
    return size_t(n);
}

size_t TFileStream::Write(const void* Buffer, size_t Count) {
    const char* p = static_cast<const char*>(Buffer);
    size_t left = Count;
    while (left > 0) {
        const ssize_t n = ::write(fd_, p, left);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) throw EUpdaterError("Stream write error: " + std::string(std::strerror(errno)));
        p += n, left -= size_t(n);
        pos_ += n;
        size_ = std::max(size_, pos_);
    }
    return Count;
}

bool TFileStream::TakesFromPipe() const { return true; }

size_t TFileStream::WriteFromPipe(TBodyPipe& Pipe, size_t Count) {
    // The pipe writes at the descriptor's offset, which is pos_: every move of it goes through here.
    std::string why;
    if (!Pipe.ToFile(fd_, Count, why)) {
        // Part of it may have landed: the position follows the file's.
        const off_t at = ::lseek(fd_, 0, SEEK_CUR);
        if (at >= 0) pos_ = at, size_ = std::max(size_, pos_);
        throw EUpdaterError("Stream write error: " + why);
    }
    pos_ += int64_t(Count);
    size_ = std::max(size_, pos_);
    return Count;
}

int64_t TFileStream::GetPosition() const { return pos_; }

void TFileStream::SetPosition(int64_t Pos) {
    const off_t at = ::lseek(fd_, Pos, SEEK_SET);
    if (at >= 0) pos_ = at;
}

int64_t TFileStream::GetSize() const { return size_; }

void TFileStream::SetSize(int64_t Size) {
    if (::ftruncate(fd_, Size) != 0) throw EUpdaterError("Stream write error: " + std::string(std::strerror(errno)));
    size_ = Size;
    if (pos_ > Size) SetPosition(Size);
}

}  // namespace http
