#pragma once
// The socket's private state and the steps its public operations share. Only the socket's own
// units include this; the connect, send and receive paths each live in a unit of their own.
#include <algorithm>
#include <string>
#include <string_view>
#include <vector>

#include "http/body_pipe.h"
#include "http/line_reader.h"
#include "http/low_speed_meter.h"
#include "http/socket_io.h"
#include "http/tcp_socket.h"

namespace http {

// The most one packet receive takes at once.
constexpr size_t kPacketSize = 65536;

}  // namespace http

struct TTCPClientSocket::State {
    explicit State(TTCPClientSocket& owner) : s(owner), lines(owner.LineBuffer), scratch(http::kPacketSize) {}

    TTCPClientSocket& s;
    http::TSocketHandle handle;
    bool connected = false;  // the handle holds an established connection
    http::TLineReader lines;
    std::vector<char> scratch;
    std::vector<char> body;  // a body's receive buffer, kept for the next body
    http::TBodyPipe pipe;    // a large plain body's way into a file, kept for the next body
    int monitorDepth = 0;    // inside the monitor hook: scratch or body still holds the block it is shown
    // The last receive took an exact size in full (a body to its declared end) and nothing
    // was sent or received since: a close has no stragglers to wait for unless bytes are pending.
    bool readToEnd = false;
    http::TLowSpeedMeter meter;

    void Monitor(bool writing, const void* data, int len);
    bool TlsActive() const { return s.tls_ && s.tls_->SSLEnabled; }
    void Status(TSocketStatusReason reason, const std::string& value) {
        if (s.OnStatus) s.OnStatus(s, reason, value);
    }

    // Sets the error of the operation in progress; false, for the callers that return it.
    bool Fail(int code) {
        s.LastError = code;
        return false;
    }
    // The same for the receive step, whose result is a byte count.
    size_t NoBlock(int code) {
        s.LastError = code;
        return 0;
    }
    // The stop flag fails the operation once and is cleared.
    bool TakeStop();
    void SetWaitError(http::TWaitResult r, int error);
    http::TLineRules Rules() const {
        return {s.ConvertLineEnd, s.InterPacketTimeout, size_t(std::max(s.MaxLineLength, 0))};
    }

    // Connect without a tunnel; reports and runs the error step itself.
    void DirectConnect(const std::string& ip, const std::string& port);
    void OpenHandle(bool ipv6);
    void TunnelConnect(const std::string& ip, const std::string& port);

    // The raw receive step: one block of at most len bytes, waiting up to timeoutMs for it.
    // Returns the byte count, or 0 with LastError set. Given a pipe, the block goes into it
    // instead of buf, and the monitor hook is shown its length with no bytes (nullptr).
    size_t ReceiveBlock(char* buf, size_t len, int timeoutMs, http::TBodyPipe* into = nullptr);
    // One packet from the connection (not from the line buffer), with the line-end carry of
    // the previous line applied.
    std::string ReceivePacket(int timeoutMs);
    // One line without its end; false with LastError set. What was read stays in LineBuffer.
    bool ReadLine(int timeoutMs, std::string_view terminator, std::string& line);
    // Exactly length bytes; false with LastError set.
    bool ReadExact(size_t length, int timeoutMs, std::string& out);
    // Size bytes into the stream in whole pieces; stops at the first error (LastError set).
    void ReceiveToStream(http::TStream& stream, int timeoutMs, int64_t size);
    // The same through the pipe, for a plain connection, a stream that takes from it and no
    // line end to complete.
    // Returns the bytes still to receive the ordinary way: all of them when the connection
    // cannot splice, the rest when the pipe filled up with small pieces, 0 once done or failed.
    int64_t ReceiveThroughPipe(http::TStream& stream, int timeoutMs, int64_t size);

    // On a TLS connection read to its end: whether the bytes waiting are only records without
    // data (close_notify, session tickets). Data found goes to the line buffer.
    bool OnlyTlsRecordsPending();

    // The send without its error step: stop flag, monitor with the whole data, pieces.
    void Send(const char* data, size_t len);
    // One piece: all of it goes out, waiting for writability when the OS buffer is full.
    bool SendPiece(const char* data, size_t len);

private:
    // What the line reader reads from: packets straight off the connection.
    int NextBlock(int timeoutMs, std::string& packet);
    // The low-speed window of a receive: the socket's own, else the receive's time-out.
    int SpeedWindow(int timeoutMs) const;
    bool TooSlow(int64_t waitedMs, int64_t bytes, int window) {
        return meter.Add(waitedMs, bytes, s.LowSpeedLimit, window);
    }
};
