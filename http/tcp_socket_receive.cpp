// Receiving: the raw block with its waits and the low-speed rule, packets, lines, exact sizes,
// readability, and the drain on close.
#include <algorithm>

#include "http/socket_errors.h"
#include "http/tcp_socket_state.h"

using namespace http;

namespace {
// Bounds the drain on close: a peer that keeps sending must not hold the close up.
constexpr size_t kPurgeLimit = 1 << 20;
}  // namespace

int TTCPClientSocket::State::SpeedWindow(int timeoutMs) const {
    if (s.LowSpeedLimit <= 0) return 0;
    return s.LowSpeedWindow > 0 ? s.LowSpeedWindow : std::max(timeoutMs, 0);
}

size_t TTCPClientSocket::State::ReceiveBlock(char* buf, size_t len, int timeoutMs, TBodyPipe* into) {
    readToEnd = false;
    if (TakeStop()) return 0;
    if (!handle.Valid()) return NoBlock(wsNotConnected);
    const int window = SpeedWindow(timeoutMs);
    const int64_t deadline = MonotonicMs() + std::max(timeoutMs, 0);
    int64_t waitFrom = MonotonicMs();
    for (;;) {
        long n;
        int error = 0;
        bool waitWritable = false;
        if (TlsActive()) {
            n = s.tls_->Recv(buf, int(len));
            if (n == TTLSPlugin::kWantRead)
                error = wsWouldBlock;
            else if (n == TTLSPlugin::kWantWrite)
                error = wsWouldBlock, waitWritable = true;
            else if (n < 0)
                error = wsSystemNotReady;
        } else if (into) {
            n = RawRecvToPipe(handle.Get(), *into, len, error);
        } else {
            n = RawRecv(handle.Get(), buf, len, error);
        }
        if (n >= 0 || error != wsWouldBlock) {
            if (n <= 0) return NoBlock(n == 0 ? wsConnectionReset : error);
            // A peer that drips keeps every single wait short: only the rate catches it.
            if (TooSlow(MonotonicMs() - waitFrom, n, window)) return NoBlock(wsTimedOut);
            Status(SR_ReadCount, std::to_string(n));
            Monitor(false, into ? nullptr : buf, int(n));
            return size_t(n);
        }
        // The wait ends at the packet's time-out or where the low-speed window is full.
        const int packetLeft = RemainingMs(deadline, timeoutMs);
        const int windowLeft = meter.WindowLeft(MonotonicMs() - waitFrom, window);
        const bool windowFirst = windowLeft >= 0 && (packetLeft < 0 || windowLeft < packetLeft);
        const TWaitResult r =
            WaitSocket(handle.Get(), waitWritable, windowFirst ? windowLeft : packetLeft, &s.StopFlag, error);
        if (r == TWaitResult::TimedOut && windowFirst) {
            const int64_t now = MonotonicMs();
            if (TooSlow(now - waitFrom, 0, window)) return NoBlock(wsTimedOut);
            waitFrom = now;
            continue;
        }
        if (r != TWaitResult::Ready) {
            SetWaitError(r, error);
            return 0;
        }
        Status(waitWritable ? SR_CanWrite : SR_CanRead, "");
    }
}

std::string TTCPClientSocket::State::ReceivePacket(int timeoutMs) {
    const size_t n = ReceiveBlock(scratch.data(), scratch.size(), timeoutMs);
    std::string packet(scratch.data(), n);
    lines.ApplyCarry(packet, s.ConvertLineEnd);
    return packet;
}

int TTCPClientSocket::State::NextBlock(int timeoutMs, std::string& packet) {
    const size_t n = ReceiveBlock(scratch.data(), scratch.size(), timeoutMs);
    packet.assign(scratch.data(), n);
    return s.LastError;
}

bool TTCPClientSocket::State::ReadLine(int timeoutMs, std::string_view terminator, std::string& line) {
    const int error =
        lines.ReadLine([this](int t, std::string& p) { return NextBlock(t, p); }, Rules(), timeoutMs, terminator, line);
    return error == 0 || Fail(error);
}

bool TTCPClientSocket::State::ReadExact(size_t length, int timeoutMs, std::string& out) {
    const int error =
        lines.ReadExact([this](int t, std::string& p) { return NextBlock(t, p); }, Rules(), timeoutMs, length, out);
    return error == 0 || Fail(error);
}

std::string TTCPClientSocket::RecvPacket(int Timeout) {
    ResetLastError();
    state_->readToEnd = false;
    std::string result;
    if (state_->TakeStop())
        ;  // the line buffer must not answer a stopped receive either
    else if (!LineBuffer.empty())
        result.swap(LineBuffer);
    else
        result = state_->ReceivePacket(Timeout);
    CheckError();
    return result;
}

std::string TTCPClientSocket::RecvUntil(int Timeout, std::string_view Terminator) {
    ResetLastError();
    state_->readToEnd = false;
    std::string line;
    if (!state_->TakeStop()) state_->ReadLine(Timeout, Terminator, line);
    CheckError();
    if (LastError != 0) line.clear();
    return line;
}

std::string TTCPClientSocket::RecvString(int Timeout) { return RecvUntil(Timeout, "\r\n"); }

std::string TTCPClientSocket::RecvExact(int Length, int Timeout) {
    ResetLastError();
    std::string out;
    state_->readToEnd = false;
    if (!state_->TakeStop() && Length > 0) state_->readToEnd = state_->ReadExact(size_t(Length), Timeout, out);
    CheckError();
    if (LastError != 0) out.clear();
    return out;
}

bool TTCPClientSocket::CanRead(int Timeout) {
    ResetLastError();
    bool ready = !LineBuffer.empty() || (state_->TlsActive() && tls_->WaitingData() > 0);
    if (!ready && state_->handle.Valid()) {
        int error = 0;
        // A stop flag ends the wait; the next send or receive reports it.
        const TWaitResult r = WaitSocket(state_->handle.Get(), false, Timeout, &StopFlag, error);
        ready = r == TWaitResult::Ready;
        if (r == TWaitResult::Failed) LastError = error;
    }
    if (ready) state_->Status(SR_CanRead, "");
    CheckError();
    return ready;
}

int TTCPClientSocket::WaitingData() {
    int n = BytesWaiting(state_->handle.Get());
    if (state_->TlsActive()) n += tls_->WaitingData();
    return n;
}

void TTCPClientSocket::Purge() {
    RawPause(1);
    size_t drained = 0;
    while (drained < kPurgeLimit && (!LineBuffer.empty() || WaitingData() > 0)) {
        try {
            drained += RecvPacket(0).size();
        } catch (...) {
            break;
        }
        if (LastError != 0) break;
    }
    ResetLastError();
}
