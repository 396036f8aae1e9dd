// A body of known size received into a stream. A large body on a plain connection, bound for
// a file, goes through a kernel pipe and never enters the program's memory; the rules below
// hold for both ways.
//
// The stream gets whole pieces of SendMaxChunk bytes (and the remainder at the end), never a
// part of one: the monitor hook runs before each received block is stored, so what a progress
// handler sees as stored rises in steps of the piece size. Within that rule the receive size
// follows the socket: a receive that fills its buffer doubles it for the next, up to a fixed
// bound, and every whole piece on hand goes to the stream in one write.
#include <algorithm>
#include <cstdint>
#include <cstring>

#include "http/body_pipe.h"
#include "http/socket_errors.h"
#include "http/tcp_socket_state.h"

using namespace http;

namespace {
// The most one receive takes into a body: the memory of a download whatever its size.
constexpr size_t kMaxBodyBlock = size_t(1) << 20;
}  // namespace

int64_t TTCPClientSocket::State::ReceiveThroughPipe(TStream& stream, int timeoutMs, int64_t size) {
    const size_t chunk = size_t(std::max(s.SendMaxChunk, 1));
    const TLineRules rules = Rules();
    // The pipe holds a broken piece and a receive after it; the line buffer goes in first.
    if (!pipe.Open(std::max(kMaxBodyBlock, 2 * chunk)) || pipe.Room() < 2 * chunk ||
        s.LineBuffer.size() > pipe.Room() - chunk || !pipe.Put(s.LineBuffer.data(), s.LineBuffer.size())) {
        pipe.Reset();
        return size;
    }
    s.LineBuffer.clear();
    // Puts back what was not stored (a broken piece) as the ordinary way would leave it.
    const auto handBack = [this] {
        const size_t n = pipe.Held();
        s.LineBuffer.resize(n);
        s.LineBuffer.resize(pipe.Take(s.LineBuffer.data(), n));
    };
    int64_t left = size;
    size_t room = kPacketSize;
    bool received = false;
    int64_t deadline = MonotonicMs() + std::max(timeoutMs, 0);
    try {
        for (;;) {
            const size_t used = pipe.Held();
            const size_t whole = int64_t(used) >= left ? size_t(left) : used / chunk * chunk;
            if (whole > 0) {
                stream.WriteFromPipe(pipe, whole);
                left -= int64_t(whole);
                deadline = MonotonicMs() + std::max(timeoutMs, 0);
            }
            if (left == 0) break;
            const int wait = rules.InterPacketTimeout ? timeoutMs : RemainingMs(deadline, timeoutMs);
            if (wait == 0 && timeoutMs > 0) {
                s.LastError = wsTimedOut;
                break;
            }
            // As the ordinary way receives: what follows the body goes back to the line buffer.
            const size_t want = std::min(room, pipe.Room() - pipe.Held());
            const size_t got = ReceiveBlock(nullptr, want, wait, &pipe);
            if (got == 0) {
                // A connection that cannot splice, or a pipe full of small pieces: the ordinary
                // way takes over from here.
                const bool cannot =
                    !received && (s.LastError == wsOperationNotSupported || s.LastError == wsInvalidArgument);
                if (cannot || s.LastError == wsNoBufferSpace) {
                    s.LastError = 0;
                    handBack();
                    return left;
                }
                break;  // LastError is set
            }
            received = true;
            if (got == room && room < kMaxBodyBlock && uint64_t(left) > pipe.Held() + room) room *= 2;
        }
    } catch (...) {
        pipe.Reset();  // the body is abandoned with what the pipe held
        throw;
    }
    handBack();
    return 0;
}

void TTCPClientSocket::State::ReceiveToStream(TStream& stream, int timeoutMs, int64_t size) {
    // A pipe costs more calls than it saves on a body of a packet or less, and a line end
    // still to complete needs the first byte in memory.
    if (size > int64_t(kPacketSize) && !TlsActive() && !lines.CarryPending() && stream.TakesFromPipe()) {
        size = ReceiveThroughPipe(stream, timeoutMs, size);
        if (size == 0) return;
    }
    const size_t chunk = size_t(std::max(s.SendMaxChunk, 1));
    const TLineRules rules = Rules();
    // Bytes on hand: what the line buffer held, then what arrives. After each write less than
    // a piece is left, so the buffer stays within a piece plus the largest receive.
    size_t used = s.LineBuffer.size();
    size_t room = kPacketSize;
    if (body.size() < used) body.resize(used);
    std::memcpy(body.data(), s.LineBuffer.data(), used);
    s.LineBuffer.clear();
    int64_t left = size;
    int64_t deadline = MonotonicMs() + std::max(timeoutMs, 0);
    for (;;) {
        const size_t whole = int64_t(used) >= left ? size_t(left) : used / chunk * chunk;
        if (whole > 0) {
            stream.Write(body.data(), whole);
            used -= whole;
            left -= int64_t(whole);
            std::memmove(body.data(), body.data() + whole, used);
            deadline = MonotonicMs() + std::max(timeoutMs, 0);
        }
        if (left == 0) break;
        // Without the inter-packet time-out a piece as a whole must arrive within the time.
        const int wait = rules.InterPacketTimeout ? timeoutMs : RemainingMs(deadline, timeoutMs);
        if (wait == 0 && timeoutMs > 0) {
            s.LastError = wsTimedOut;
            break;
        }
        if (body.size() < used + room) body.resize(used + room);
        const size_t got = ReceiveBlock(body.data() + used, room, wait);
        if (got == 0) break;  // LastError is set
        const size_t kept = lines.ApplyCarry(body.data() + used, got, rules.ConvertLineEnd);
        used += kept;
        // A receive that filled its room found more ready: the next one may take more, while
        // the body still needs it. A small body never costs more than a packet.
        if (got == room && room < kMaxBodyBlock && uint64_t(left) > used + room) room *= 2;
    }
    // What was not stored stays for the next receive: a broken piece, or what followed the body.
    s.LineBuffer.assign(body.data(), used);
}

void TTCPClientSocket::RecvToStream(TStream& Stream, int Timeout, int64_t Size) {
    ResetLastError();
    state_->readToEnd = false;
    if (Size > 0 && !state_->TakeStop()) {
        state_->ReceiveToStream(Stream, Timeout, Size);
        state_->readToEnd = LastError == 0;
    }
    CheckError();
}
