#include "http/body_pipe.h"

#include <fcntl.h>
#include <poll.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

#include "http/socket_errors.h"
#include "platform/unique_fd.h"

namespace http {

namespace {
// A splice that found nothing to move while the socket has bytes ready was stopped by the
// pipe: each of its slots holds a piece, and a peer that sends tiny segments fills them all
// with less than a page.
bool SocketReady(int Fd) {
    pollfd p{Fd, POLLIN, 0};
    return ::poll(&p, 1, 0) > 0;
}
}  // namespace

struct TBodyPipe::Ends {
    platform::UniqueFd read, write;
};

TBodyPipe::TBodyPipe() = default;
TBodyPipe::~TBodyPipe() = default;
TBodyPipe::TBodyPipe(TBodyPipe&&) noexcept = default;
TBodyPipe& TBodyPipe::operator=(TBodyPipe&&) noexcept = default;

bool TBodyPipe::Open(size_t Room) {
    if (ends_ && room_ >= Room) return true;
    Reset();
    int fds[2];
    if (::pipe2(fds, O_CLOEXEC | O_NONBLOCK) != 0) return false;
    auto ends = std::make_unique<Ends>();
    ends->read.Reset(fds[0]);
    ends->write.Reset(fds[1]);
    // The OS rounds the size up; an unprivileged process may not pass its pipe-max-size.
    const int size = ::fcntl(fds[1], F_SETPIPE_SZ, int(Room));
    if (size < 0 || size_t(size) < Room) return false;
    ends_ = std::move(ends);
    room_ = size_t(size);
    held_ = 0;
    return true;
}

bool TBodyPipe::Put(const char* Data, size_t Len) {
    while (Len > 0) {
        const ssize_t n = ::write(ends_->write.Get(), Data, Len);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return false;
        Data += n, Len -= size_t(n), held_ += size_t(n);
    }
    return true;
}

long TBodyPipe::FromSocket(int Fd, size_t Len, int& Error) {
    for (;;) {
        const ssize_t n = ::splice(Fd, nullptr, ends_->write.Get(), nullptr, Len, SPLICE_F_MOVE | SPLICE_F_NONBLOCK);
        if (n >= 0) {
            held_ += size_t(n);
            return long(n);
        }
        if (errno == EINTR) continue;
        Error = errno == EAGAIN ? (SocketReady(Fd) ? wsNoBufferSpace : wsWouldBlock) : WinsockFromErrno(errno);
        return -1;
    }
}

bool TBodyPipe::ToFile(int Fd, size_t Count, std::string& Error) {
    while (Count > 0) {
        // The pipe holds the bytes already, so the read end never waits.
        const ssize_t n = ::splice(ends_->read.Get(), nullptr, Fd, nullptr, Count, SPLICE_F_MOVE);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) {
            Error = n < 0 ? std::strerror(errno) : "the pipe ran dry";
            return false;
        }
        Count -= size_t(n), held_ -= size_t(n);
    }
    return true;
}

size_t TBodyPipe::Take(char* Buffer, size_t Len) {
    size_t got = 0;
    while (got < Len && held_ > 0) {
        const ssize_t n = ::read(ends_->read.Get(), Buffer + got, std::min(Len - got, held_));
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) break;
        got += size_t(n), held_ -= size_t(n);
    }
    return got;
}

void TBodyPipe::Reset() {
    ends_.reset();
    room_ = held_ = 0;
}

}  // namespace http
