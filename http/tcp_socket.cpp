#include "http/tcp_socket.h"

#include <algorithm>
#include <vector>

#include "http/base64.h"
#include "http/socket_errors.h"
#include "http/line_reader.h"
#include "http/low_speed_meter.h"
#include "http/socket_io.h"
#include "platform/codepage.h"
#include "platform/strconv.h"

namespace {
constexpr size_t kPacketSize = 65536;
// Bounds a proxy's whole answer to CONNECT, which is read line by line.
constexpr size_t kTunnelAnswerLimit = 1 << 20;
// Bounds the drain on close: a peer that keeps sending must not hold the close up.
constexpr size_t kPurgeLimit = 1 << 20;
}  // namespace

ESocketError::ESocketError(int Code, std::string Text)
    : EUpdaterError(Format("TCP/IP Socket error %d: %s", Code, Text.c_str())),
      ErrorCode(Code),
      ErrorMessage(std::move(Text)) {}

struct TTCPClientSocket::Impl {
    explicit Impl(TTCPClientSocket& owner) : s(owner), lines(owner.LineBuffer), scratch(kPacketSize) {}

    TTCPClientSocket& s;
    TSocketHandle handle;
    bool connected = false;  // the handle holds an established connection
    TLineReader lines;
    std::vector<char> scratch;
    int monitorDepth = 0;  // inside the monitor hook: scratch still holds the block it is shown
    TLowSpeedMeter meter;

    void Monitor(bool writing, const void* data, int len) {
        if (!s.OnMonitor) return;
        ++monitorDepth;
        try {
            s.OnMonitor(s, writing, data, len);
        } catch (...) {
            --monitorDepth;
            throw;
        }
        --monitorDepth;
    }

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
    bool TakeStop() {
        if (!s.StopFlag.exchange(false)) return false;
        s.LastError = wsConnectionAborted;
        return true;
    }

    void SetWaitError(TWaitResult r, int error) {
        switch (r) {
        case TWaitResult::Ready: break;
        case TWaitResult::TimedOut: s.LastError = wsTimedOut; break;
        case TWaitResult::Stopped: TakeStop(); if (s.LastError == 0) s.LastError = wsConnectionAborted; break;
        case TWaitResult::Failed: s.LastError = error; break;
        }
    }

    TLineRules Rules() const {
        return {s.ConvertLineEnd, s.InterPacketTimeout, size_t(std::max(s.MaxLineLength, 0))};
    }

    // Connect without a tunnel; reports and runs the error step itself.
    void DirectConnect(const std::string& ip, const std::string& port) {
        Status(SR_ResolvingBegin, ip + ":" + port);
        TSockAddr addr;
        s.LastError = ResolveAddress(ip, port, s.PreferIP4, addr);
        if (s.LastError != 0) addr.IP = "0.0.0.0", addr.Port = std::max(PortNumber(port), 0);
        Status(SR_ResolvingEnd, addr.IP + ":" + std::to_string(addr.Port));
        if (s.LastError == 0 && !handle.Valid()) OpenHandle(addr.IPv6);
        // Linux would take a second connect as the completion of the first; Winsock's answer
        // is 10056 on every platform.
        if (s.LastError == 0 && connected) s.LastError = wsAlreadyConnected;
        if (s.LastError == 0) {
            bool waited = false;
            s.LastError = ConnectHandle(handle.Get(), addr, s.ConnectionTimeout, &s.StopFlag, waited);
            if (s.LastError == wsConnectionAborted) s.StopFlag = false;
            // A blocking connect (no time-out) has no readiness wait to report.
            if (waited && s.ConnectionTimeout > 0) Status(SR_CanWrite, "");
            // A handle whose connect failed cannot connect again, so the next Connect makes a new
            // one; but a mistaken Connect on a live connection must not drop it.
            if (s.LastError == 0)
                connected = true;
            else if (!connected)
                handle.Reset();
        }
        if (s.LastError != wsAlreadyConnected) {  // a live connection keeps what it has buffered
            s.LineBuffer.clear();
            lines.ResetCarry();
            meter.Reset();
        }
        s.CheckError();
        Status(SR_Connect, ip + ":" + port);
    }

    void OpenHandle(bool ipv6) {
        int error = 0;
        const int fd = OpenTcpHandle(ipv6, s.SizeRecvBuffer, s.SizeSendBuffer, error);
        if (fd < 0) {
            s.LastError = error;
            return;
        }
        handle = TSocketHandle(fd);
        Status(SR_SocketCreate, ipv6 ? "IPv6" : "IPv4");
    }

    void TunnelConnect(const std::string& ip, const std::string& port) {
        DirectConnect(s.HTTPTunnelIP, s.HTTPTunnelPort);
        if (s.LastError != 0) return;  // already reported
        const int portNumber = PortNumber(port);
        const std::string host = ip.find(':') != std::string::npos ? "[" + ip + "]" : ip;
        std::string request = "CONNECT " + host + ":" + std::to_string(std::max(portNumber, 0)) + " HTTP/1.0\r\n";
        // Credentials go on the wire in the ANSI code page, like every other header text.
        if (!s.HTTPTunnelUser.empty())
            request += "Proxy-Authorization: Basic " +
                       EncodeBase64(Utf8ToAnsi(s.HTTPTunnelUser + ":" + s.HTTPTunnelPass)) + "\r\n";
        request += "\r\n";
        Send(request.data(), request.size());
        size_t total = 0;
        std::string line;
        while (s.LastError == 0 && ReadLine(s.HTTPTunnelTimeout, "\n", line)) {
            total += line.size() + 1;
            if (total > kTunnelAnswerLimit) {
                s.LastError = wsNoBufferSpace;
                break;
            }
            if (line.empty() || line == "\r") break;
            if (line.compare(0, 5, "HTTP/") == 0 && line.size() > 11) s.HTTPTunnel = line[9] == '2';
        }
        if (s.LastError == 0 && !s.HTTPTunnel) s.LastError = wsConnectionRefused;
        s.CheckError();
    }

    // The low-speed window of a receive: the socket's own, else the receive's time-out.
    int SpeedWindow(int timeoutMs) const {
        if (s.LowSpeedLimit <= 0) return 0;
        return s.LowSpeedWindow > 0 ? s.LowSpeedWindow : std::max(timeoutMs, 0);
    }

    bool TooSlow(int64_t waitedMs, int64_t bytes, int window) {
        return meter.Add(waitedMs, bytes, s.LowSpeedLimit, window);
    }

    // The raw receive step: one block of at most len bytes, waiting up to timeoutMs for it.
    // Returns the byte count, or 0 with LastError set.
    size_t ReceiveBlock(char* buf, size_t len, int timeoutMs) {
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
                if (n == TTLSPlugin::kWantRead) error = wsWouldBlock;
                else if (n == TTLSPlugin::kWantWrite) error = wsWouldBlock, waitWritable = true;
                else if (n < 0) error = wsSystemNotReady;
            } else {
                n = RawRecv(handle.Get(), buf, len, error);
            }
            if (n >= 0 || error != wsWouldBlock) {
                if (n <= 0) return NoBlock(n == 0 ? wsConnectionReset : error);
                // A peer that drips keeps every single wait short: only the rate catches it.
                if (TooSlow(MonotonicMs() - waitFrom, n, window)) return NoBlock(wsTimedOut);
                Status(SR_ReadCount, std::to_string(n));
                Monitor(false, buf, int(n));
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

    // One packet from the connection (not from the line buffer), with the line-end carry of
    // the previous line applied.
    std::string ReceivePacket(int timeoutMs) {
        const size_t n = ReceiveBlock(scratch.data(), scratch.size(), timeoutMs);
        std::string packet(scratch.data(), n);
        lines.ApplyCarry(packet, s.ConvertLineEnd);
        return packet;
    }

    // What the line reader reads from: packets straight off the connection.
    int NextBlock(int timeoutMs, std::string& packet) {
        const size_t n = ReceiveBlock(scratch.data(), scratch.size(), timeoutMs);
        packet.assign(scratch.data(), n);
        return s.LastError;
    }

    // One line without its end; false with LastError set. What was read stays in LineBuffer.
    bool ReadLine(int timeoutMs, std::string_view terminator, std::string& line) {
        const int error = lines.ReadLine([this](int t, std::string& p) { return NextBlock(t, p); }, Rules(),
                                         timeoutMs, terminator, line);
        return error == 0 || Fail(error);
    }

    // Exactly length bytes; false with LastError set.
    bool ReadExact(size_t length, int timeoutMs, std::string& out) {
        const int error = lines.ReadExact([this](int t, std::string& p) { return NextBlock(t, p); }, Rules(),
                                          timeoutMs, length, out);
        return error == 0 || Fail(error);
    }

    // One piece: all of it goes out, waiting for writability when the OS buffer is full.
    bool SendPiece(const char* data, size_t len) {
        if (!handle.Valid()) return Fail(wsNotConnected);
        size_t done = 0;
        while (done < len) {
            long n;
            int error = 0;
            bool waitReadable = false;
            if (TlsActive()) {
                n = s.tls_->Send(data + done, int(len - done));
                if (n == TTLSPlugin::kWantWrite) error = wsWouldBlock;
                else if (n == TTLSPlugin::kWantRead) error = wsWouldBlock, waitReadable = true;
                else if (n < 0) error = wsSystemNotReady;
            } else {
                n = RawSend(handle.Get(), data + done, len - done, error);
            }
            if (n > 0) {
                done += size_t(n);
                continue;
            }
            if (n < 0 && error != wsWouldBlock) return Fail(error);
            const TWaitResult r = WaitSocket(handle.Get(), !waitReadable, s.NonblockSendTimeout, &s.StopFlag, error);
            if (r != TWaitResult::Ready) {
                SetWaitError(r, error);
                return false;
            }
            Status(waitReadable ? SR_CanRead : SR_CanWrite, "");
        }
        return true;
    }

    // The send without its error step: stop flag, monitor with the whole data, pieces.
    void Send(const char* data, size_t len) {
        if (TakeStop()) return;
        if (len == 0) return;
        Monitor(true, data, int(std::min<size_t>(len, size_t(INT32_MAX))));
        const size_t chunk = size_t(std::max(s.SendMaxChunk, 1));
        for (size_t off = 0; off < len; off += chunk) {
            const size_t piece = std::min(chunk, len - off);
            if (!SendPiece(data + off, piece)) return;
            Status(SR_WriteCount, std::to_string(piece));
        }
    }
};

TTCPClientSocket::TTCPClientSocket() : impl_(std::make_unique<Impl>(*this)), tls_(CreateTLSPlugin()) {}

TTCPClientSocket::~TTCPClientSocket() {
    // The owner is already partly destroyed when its socket goes: no hook may run now, and
    // nothing may be raised from a destructor.
    OnStatus = nullptr;
    OnMonitor = nullptr;
    RaiseExcept = false;
    CloseSocket();
}

void TTCPClientSocket::Connect(const std::string& IP, const std::string& Port) {
    ResetLastError();
    HTTPTunnel = false;
    if (HTTPTunnelIP.empty())
        impl_->DirectConnect(IP, Port);
    else
        impl_->TunnelConnect(IP, Port);
}

void TTCPClientSocket::Bind(const std::string& IP, const std::string& Port) {
    ResetLastError();
    const bool anyIP = IP.empty() || IP == "0.0.0.0";
    const bool anyPort = Port.empty() || Port == "0";
    if (anyIP && anyPort) return;  // binding to the wildcard changes nothing
    TSockAddr addr;
    LastError = ResolveAddress(IP, Port, PreferIP4, addr);
    if (LastError == 0 && !impl_->handle.Valid()) impl_->OpenHandle(addr.IPv6);
    if (LastError == 0) LastError = BindHandle(impl_->handle.Get(), addr);
    if (LastError == 0) impl_->Status(SR_Bind, GetLocalSinIP() + ":" + std::to_string(GetLocalSinPort()));
    CheckError();
}

void TTCPClientSocket::CloseSocket() {
    if (impl_->TlsActive()) tls_->Shutdown();
    // A hook that closes the socket abandons the connection: draining it there would read
    // into the very buffer the interrupted receive is still handing out.
    if (impl_->handle.Valid() && LastError == 0 && impl_->monitorDepth == 0) {
        ShutdownSend(impl_->handle.Get());
        Purge();
    }
    impl_->handle.Reset();
    impl_->connected = false;
    LineBuffer.clear();
    impl_->lines.ResetCarry();
    impl_->Status(SR_SocketClose, "");
}

bool TTCPClientSocket::StartTLS() {
    ResetLastError();
    tls_->LastError = 0;
    tls_->LastErrorDesc.clear();
    if (!impl_->handle.Valid()) {
        LastError = wsNotConnected;
    } else if (!tls_->Connect(impl_->handle.Get(), ConnectionTimeout, &StopFlag)) {
        // A handshake cut short by its wait fails like any other wait of the socket.
        LastError = tls_->WaitError != 0 ? tls_->WaitError : wsSystemNotReady;
        if (LastError == wsConnectionAborted) StopFlag = false;
    }
    CheckError();
    return LastError == 0;
}

void TTCPClientSocket::SendString(std::string_view Data) {
    ResetLastError();
    impl_->Send(Data.data(), Data.size());
    CheckError();
}

void TTCPClientSocket::SendBuffer(const void* Buffer, int Length) {
    ResetLastError();
    impl_->Send(static_cast<const char*>(Buffer), size_t(std::max(Length, 0)));
    CheckError();
}

void TTCPClientSocket::SendStream(TStream& Stream) {
    ResetLastError();
    std::vector<char> buf(size_t(std::max(SendMaxChunk, 1)));
    for (;;) {
        const size_t n = Stream.Read(buf.data(), buf.size());
        if (n == 0) break;
        SendBuffer(buf.data(), int(n));
        if (LastError != 0) break;
    }
}

std::string TTCPClientSocket::RecvPacket(int Timeout) {
    ResetLastError();
    std::string result;
    if (impl_->TakeStop())
        ;  // the line buffer must not answer a stopped receive either
    else if (!LineBuffer.empty())
        result.swap(LineBuffer);
    else
        result = impl_->ReceivePacket(Timeout);
    CheckError();
    return result;
}

std::string TTCPClientSocket::RecvUntil(int Timeout, std::string_view Terminator) {
    ResetLastError();
    std::string line;
    if (!impl_->TakeStop()) impl_->ReadLine(Timeout, Terminator, line);
    CheckError();
    if (LastError != 0) line.clear();
    return line;
}

std::string TTCPClientSocket::RecvString(int Timeout) { return RecvUntil(Timeout, "\r\n"); }

std::string TTCPClientSocket::RecvExact(int Length, int Timeout) {
    ResetLastError();
    std::string out;
    if (!impl_->TakeStop() && Length > 0) impl_->ReadExact(size_t(Length), Timeout, out);
    CheckError();
    if (LastError != 0) out.clear();
    return out;
}

void TTCPClientSocket::RecvToStream(TStream& Stream, int Timeout, int64_t Size) {
    ResetLastError();
    const int64_t chunk = std::max(SendMaxChunk, 1);
    std::string piece;
    if (Size > 0) impl_->TakeStop();
    for (int64_t left = std::max<int64_t>(Size, 0); left > 0 && LastError == 0;) {
        const int64_t want = std::min(left, chunk);
        if (!impl_->ReadExact(size_t(want), Timeout, piece)) break;
        Stream.Write(piece);
        left -= want;
    }
    CheckError();
}

bool TTCPClientSocket::CanRead(int Timeout) {
    ResetLastError();
    bool ready = !LineBuffer.empty() || (impl_->TlsActive() && tls_->WaitingData() > 0);
    if (!ready && impl_->handle.Valid()) {
        int error = 0;
        // A stop flag ends the wait; the next send or receive reports it.
        const TWaitResult r = WaitSocket(impl_->handle.Get(), false, Timeout, &StopFlag, error);
        ready = r == TWaitResult::Ready;
        if (r == TWaitResult::Failed) LastError = error;
    }
    if (ready) impl_->Status(SR_CanRead, "");
    CheckError();
    return ready;
}

bool TTCPClientSocket::CanWrite(int Timeout) {
    ResetLastError();
    bool ready = false;
    if (impl_->handle.Valid()) {
        int error = 0;
        const TWaitResult r = WaitSocket(impl_->handle.Get(), true, Timeout, &StopFlag, error);
        ready = r == TWaitResult::Ready;
        if (r == TWaitResult::Failed) LastError = error;
    }
    if (ready) impl_->Status(SR_CanWrite, "");
    CheckError();
    return ready;
}

int TTCPClientSocket::WaitingData() {
    int n = BytesWaiting(impl_->handle.Get());
    if (impl_->TlsActive()) n += tls_->WaitingData();
    return n;
}

void TTCPClientSocket::Purge() {
    SleepMs(1);
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

void TTCPClientSocket::ResetLastError() {
    LastError = 0;
    LastErrorDesc.clear();
}

void TTCPClientSocket::CheckError() {
    LastErrorDesc = LastError == wsSystemNotReady && tls_->LastError != 0 ? tls_->LastErrorDesc : GetErrorDesc(LastError);
    if (LastError == 0 || LastError == wsWouldBlock || LastError == wsInProgress) return;
    impl_->Status(SR_Error, std::to_string(LastError) + "," + LastErrorDesc);
    if (RaiseExcept) throw ESocketError(LastError, LastErrorDesc);
}

std::string TTCPClientSocket::GetErrorDesc(int ErrorCode) { return ErrorCode == 0 ? std::string() : WinsockErrorText(ErrorCode); }

bool TTCPClientSocket::IsOpen() const { return impl_->handle.Valid(); }

std::string TTCPClientSocket::GetLocalSinIP() const {
    std::string ip;
    int port = 0;
    HandleAddress(impl_->handle.Get(), false, ip, port);
    return ip;
}

std::string TTCPClientSocket::GetRemoteSinIP() const {
    std::string ip;
    int port = 0;
    HandleAddress(impl_->handle.Get(), true, ip, port);
    return ip;
}

int TTCPClientSocket::GetLocalSinPort() const {
    std::string ip;
    int port = 0;
    HandleAddress(impl_->handle.Get(), false, ip, port);
    return port;
}

int TTCPClientSocket::GetRemoteSinPort() const {
    std::string ip;
    int port = 0;
    HandleAddress(impl_->handle.Get(), true, ip, port);
    return port;
}
