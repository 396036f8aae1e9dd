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

// The rules both ways share: whole pieces, the wait for the next block, and a receive size
// that grows with what the connection has ready.
class TBodyPace {
public:
    TBodyPace(int chunk, int64_t size, int timeoutMs, bool interPacket)
        : chunk_(size_t(std::max(chunk, 1))), left_(size), timeoutMs_(timeoutMs), interPacket_(interPacket) {
        Restart();
    }
    size_t Chunk() const { return chunk_; }
    int64_t Left() const { return left_; }
    size_t Room() const { return room_; }
    // What of the bytes on hand may be stored now: whole pieces, or the rest of the body.
    size_t Whole(size_t onHand) const { return int64_t(onHand) >= left_ ? size_t(left_) : onHand / chunk_ * chunk_; }
    void Stored(size_t n) {
        left_ -= int64_t(n);
        Restart();
    }
    // Whether to receive again, and the wait for it: false once the body is stored, or with
    // Error wsTimedOut when the time for a piece ran out. Without the inter-packet time-out a
    // piece as a whole must arrive within the time.
    bool Next(int& ms, int& Error) const {
        if (left_ == 0) return false;
        ms = interPacket_ ? timeoutMs_ : RemainingMs(deadline_, timeoutMs_);
        if (ms != 0 || timeoutMs_ <= 0) return true;
        Error = wsTimedOut;
        return false;
    }
    // A receive that filled its room found more ready: the next one may take more, while the
    // body still needs it. A small body never costs more than a packet.
    void Received(size_t got, size_t onHand) {
        if (got == room_ && room_ < kMaxBodyBlock && uint64_t(left_) > onHand + room_) room_ *= 2;
    }

private:
    void Restart() { deadline_ = MonotonicMs() + std::max(timeoutMs_, 0); }

    size_t chunk_;
    int64_t left_;
    int timeoutMs_;
    bool interPacket_;
    size_t room_ = kPacketSize;
    int64_t deadline_ = 0;
};
}  // namespace

int64_t TTCPClientSocket::State::ReceiveThroughPipe(TStream& stream, int timeoutMs, int64_t size) {
    TBodyPace pace(s.SendMaxChunk, size, timeoutMs, s.InterPacketTimeout);
    const size_t chunk = pace.Chunk();
    // The pipe holds a broken piece and a receive after it; the line buffer goes in first.
    if (!pipe.Open(std::max(kMaxBodyBlock, 2 * chunk)) || pipe.Room() < 2 * chunk ||
        s.LineBuffer.size() > pipe.Room() - chunk || !pipe.Put(s.LineBuffer.data(), s.LineBuffer.size())) {
        pipe.Reset();
        return size;
    }
    s.LineBuffer.clear();
    // Puts back what was not stored (a broken piece, what followed the body) where the
    // ordinary way leaves it.
    const auto handBack = [this] {
        const size_t n = pipe.Held();
        s.LineBuffer.resize(n);
        s.LineBuffer.resize(pipe.Take(s.LineBuffer.data(), n));
    };
    bool received = false;
    try {
        for (;;) {
            if (const size_t whole = pace.Whole(pipe.Held())) {
                stream.WriteFromPipe(pipe, whole);
                pace.Stored(whole);
            }
            int wait = 0;
            if (!pace.Next(wait, s.LastError)) break;
            const size_t got = ReceiveBlock(nullptr, std::min(pace.Room(), pipe.Room() - pipe.Held()), wait, &pipe);
            if (got == 0) {
                // A connection that cannot splice, or a pipe full of small pieces: the ordinary
                // way takes over from here.
                const bool cannot =
                    !received && (s.LastError == wsOperationNotSupported || s.LastError == wsInvalidArgument);
                if (cannot || s.LastError == wsNoBufferSpace) {
                    s.LastError = 0;
                    handBack();
                    return pace.Left();
                }
                break;  // LastError is set
            }
            received = true;
            pace.Received(got, pipe.Held());
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
    TBodyPace pace(s.SendMaxChunk, size, timeoutMs, s.InterPacketTimeout);
    // Bytes on hand: what the line buffer held, then what arrives. After each write less than
    // a piece is left, so the buffer stays within a piece plus the largest receive.
    size_t used = s.LineBuffer.size();
    if (body.size() < used) body.resize(used);
    std::memcpy(body.data(), s.LineBuffer.data(), used);
    s.LineBuffer.clear();
    for (;;) {
        if (const size_t whole = pace.Whole(used)) {
            stream.Write(body.data(), whole);
            used -= whole;
            std::memmove(body.data(), body.data() + whole, used);
            pace.Stored(whole);
        }
        int wait = 0;
        if (!pace.Next(wait, s.LastError)) break;
        const size_t room = pace.Room();
        if (body.size() < used + room) body.resize(used + room);
        const size_t got = ReceiveBlock(body.data() + used, room, wait);
        if (got == 0) break;  // LastError is set
        used += lines.ApplyCarry(body.data() + used, got, s.ConvertLineEnd);
        pace.Received(got, used);
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
