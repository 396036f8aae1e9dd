#include "http/stream.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "platform/errors.h"

TFileStream::TFileStream(const std::string& FileName, TFileMode Mode) : name_(FileName) {
    if (Mode == TFileMode::CreateWrite) {
        fd_ = ::open(FileName.c_str(), O_RDWR | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
        if (fd_ < 0)
            throw EUpdaterError("Cannot create file \"" + FileName + "\". " + std::strerror(errno));
    } else {
        fd_ = ::open(FileName.c_str(), O_RDONLY | O_CLOEXEC);
        if (fd_ < 0)
            throw EUpdaterError("Cannot open file \"" + FileName + "\". " + std::strerror(errno));
    }
}

TFileStream::~TFileStream() {
    if (fd_ >= 0) ::close(fd_);
}

size_t TFileStream::Read(void* Buffer, size_t Count) {
    ssize_t n;
    do n = ::read(fd_, Buffer, Count);
    while (n < 0 && errno == EINTR);
    return n < 0 ? 0 : size_t(n);
}

size_t TFileStream::Write(const void* Buffer, size_t Count) {
    const char* p = static_cast<const char*>(Buffer);
    size_t left = Count;
    while (left > 0) {
        const ssize_t n = ::write(fd_, p, left);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) throw EUpdaterError("Stream write error: " + std::string(std::strerror(errno)));
        p += n, left -= size_t(n);
    }
    return Count;
}

int64_t TFileStream::GetPosition() const { return ::lseek(fd_, 0, SEEK_CUR); }
void TFileStream::SetPosition(int64_t Pos) { ::lseek(fd_, Pos, SEEK_SET); }

int64_t TFileStream::GetSize() const {
    struct stat st {};
    return ::fstat(fd_, &st) == 0 ? st.st_size : 0;
}

void TFileStream::SetSize(int64_t Size) {
    if (::ftruncate(fd_, Size) != 0)
        throw EUpdaterError("Stream write error: " + std::string(std::strerror(errno)));
    if (GetPosition() > Size) SetPosition(Size);
}
