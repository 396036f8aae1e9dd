#include <fcntl.h>
#include <io.h>
#include <share.h>
#include <sys/stat.h>
#include <windows.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

#include "http/stream.h"
#include "platform/errors.h"
#include "platform/os_error.h"
#include "platform/wide_text_win.h"

using namespace platform;

namespace http {

// The C runtime's descriptors, in binary mode: downloads must arrive byte for byte.
TFileStream::TFileStream(const std::string& FileName, TFileMode Mode) : name_(FileName) {
    const std::wstring path = WidePath(FileName);
    if (Mode != TFileMode::OpenRead) {
        const int truncate = Mode == TFileMode::CreateWrite ? _O_TRUNC : 0;
        // Others may read the download while it arrives, but not write it.
        fd_ = _wsopen(path.c_str(), _O_RDWR | _O_CREAT | truncate | _O_BINARY | _O_NOINHERIT, _SH_DENYWR,
                      _S_IREAD | _S_IWRITE);
        if (fd_ < 0)
            throw EUpdaterError("Cannot create file \"" + FileName + "\". " + SystemErrorText(int(GetLastError())));
    } else {
        fd_ = _wopen(path.c_str(), _O_RDONLY | _O_BINARY | _O_NOINHERIT);
        if (fd_ < 0)
            throw EUpdaterError("Cannot open file \"" + FileName + "\". " + SystemErrorText(int(GetLastError())));
    }
    struct _stat64 st {};
    if (_fstat64(fd_, &st) == 0) size_ = st.st_size;
}

TFileStream::~TFileStream() {
    if (fd_ >= 0) _close(fd_);
}

size_t TFileStream::Read(void* Buffer, size_t Count) {
    const int n = _read(fd_, Buffer, unsigned(Count > 0x40000000 ? 0x40000000 : Count));
    if (n <= 0) return 0;
    pos_ += n;
    return size_t(n);
}

size_t TFileStream::Write(const void* Buffer, size_t Count) {
    const char* p = static_cast<const char*>(Buffer);
    size_t left = Count;
    while (left > 0) {
        const int n = _write(fd_, p, unsigned(left > 0x40000000 ? 0x40000000 : left));
        if (n <= 0) throw EUpdaterError("Stream write error: " + std::string(std::strerror(errno)));
        p += n, left -= size_t(n);
        pos_ += n;
        size_ = std::max(size_, pos_);
    }
    return Count;
}

// Windows has no pipe to take a body from.
bool TFileStream::TakesFromPipe() const { return false; }
size_t TFileStream::WriteFromPipe(TBodyPipe& Pipe, size_t Count) { return TStream::WriteFromPipe(Pipe, Count); }

int64_t TFileStream::GetPosition() const { return pos_; }

void TFileStream::SetPosition(int64_t Pos) {
    const int64_t at = _lseeki64(fd_, Pos, SEEK_SET);
    if (at >= 0) pos_ = at;
}

int64_t TFileStream::GetSize() const { return size_; }

void TFileStream::SetSize(int64_t Size) {
    if (_chsize_s(fd_, Size) != 0) throw EUpdaterError("Stream write error: " + std::string(std::strerror(errno)));
    size_ = Size;
    if (pos_ > Size) SetPosition(Size);
}

}  // namespace http
