// A body of known size received into a stream.
//
// The stream gets whole pieces of SendMaxChunk bytes (and the remainder at the end), never a
// part of one: the monitor hook runs before each received block is stored, so what a progress
// handler sees as stored rises in steps of the piece size. Within that rule the receive size
// follows the socket: a receive that fills its buffer doubles it for the next, up to a fixed
// bound, and every whole piece on hand goes to the stream in one write.
#include <algorithm>
#include <cstdint>
#include <cstring>

#include "http/socket_errors.h"
#include "http/tcp_socket_state.h"

using namespace http;

namespace {
// The most one receive takes into a body: the memory of a download whatever its size.
constexpr size_t kMaxBodyBlock = size_t(1) << 20;
}  // namespace

void TTCPClientSocket::State::ReceiveToStream(TStream& stream, int timeoutMs, int64_t size) {
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
