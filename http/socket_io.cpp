// What every platform's raw socket I/O shares: the replaceable raw interface and the clock
// the waits are measured on.
#include "http/socket_io.h"

#include "http/socket_errors.h"
#include "platform/wait_hook.h"

#include <algorithm>
#include <atomic>
#include <chrono>

namespace http {

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

long RawRecvToPipe(int Fd, TBodyPipe& Pipe, size_t Len, int& Error) {
    TSocketRawIO* io = g_rawIO.load();
    return (io ? *io : SystemSocketIO()).RecvToPipe(Fd, Pipe, Len, Error);
}

long TSocketRawIO::RecvToPipe(int, TBodyPipe&, size_t, int& Error) {
    Error = wsOperationNotSupported;
    return -1;
}

void TSocketRawIO::Pause(int Ms) { SleepMs(Ms); }

void RawPause(int Ms) {
    TSocketRawIO* io = g_rawIO.load();
    (io ? *io : SystemSocketIO()).Pause(Ms);
}
using platform::RunWaitHook;

TWaitResult WaitSocket(int Fd, bool Write, int TimeoutMs, const std::atomic<bool>* Stop, int& Error) {
    // Slices keep a stop flag set by another thread from waiting out the whole time.
    constexpr int kSliceMs = 50;
    const int64_t deadline = MonotonicMs() + std::max(TimeoutMs, 0);
    for (;;) {
        if (Stop && Stop->load()) return TWaitResult::Stopped;
        const int left = RemainingMs(deadline, TimeoutMs);
        const TWaitResult r = WaitSlice(Fd, Write, left < 0 ? kSliceMs : std::min(left, kSliceMs), Error);
        if (r != TWaitResult::TimedOut) return r;
        if (left >= 0 && RemainingMs(deadline, TimeoutMs) == 0) return TWaitResult::TimedOut;
        // A silent peer does not hold the window: its messages run, and a stop asked for
        // there ends the wait at once.
        if (RunWaitHook()) return TWaitResult::Stopped;
    }
}

int WaitErrorCode(TWaitResult Result, int Error) {
    switch (Result) {
    case TWaitResult::Ready: return 0;
    case TWaitResult::TimedOut: return wsTimedOut;
    case TWaitResult::Stopped: return wsConnectionAborted;
    case TWaitResult::Failed: return Error;
    }
    return Error;
}

int64_t MonotonicMs() {
    using namespace std::chrono;
    return duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count();
}

int RemainingMs(int64_t Deadline, int TimeoutMs) {
    if (TimeoutMs < 0) return -1;
    return int(std::max<int64_t>(0, Deadline - MonotonicMs()));
}

}  // namespace http
