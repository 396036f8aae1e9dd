// What every platform's raw socket I/O shares: the replaceable raw interface and the clock
// the waits are measured on.
#include "http/socket_io.h"

#include <algorithm>
#include <atomic>
#include <chrono>

namespace {
std::atomic<TSocketRawIO*> g_rawIO{nullptr};
}  // namespace

void SetSocketRawIO(TSocketRawIO* Io) { g_rawIO = Io; }

long RawSend(int Fd, const void* Buffer, size_t Len, int& Error) {
    TSocketRawIO* io = g_rawIO.load();
    return (io ? *io : SystemSocketIO()).Send(Fd, Buffer, Len, Error);
}

long RawRecv(int Fd, void* Buffer, size_t Len, int& Error) {
    TSocketRawIO* io = g_rawIO.load();
    return (io ? *io : SystemSocketIO()).Recv(Fd, Buffer, Len, Error);
}

int64_t MonotonicMs() {
    using namespace std::chrono;
    return duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count();
}

int RemainingMs(int64_t Deadline, int TimeoutMs) {
    if (TimeoutMs < 0) return -1;
    return int(std::max<int64_t>(0, Deadline - MonotonicMs()));
}
