// Connecting: name resolution, the handle, a direct connect or a CONNECT tunnel, a bind, and
// the TLS handshake on top.
#include <algorithm>

#include "http/socket_errors.h"
#include "http/tcp_socket_state.h"
#include "platform/base64.h"
#include "platform/codepage.h"
#include "platform/strconv.h"

using namespace http;
using namespace platform;

namespace {
// Bounds a proxy's whole answer to CONNECT, which is read line by line.
constexpr size_t kTunnelAnswerLimit = 1 << 20;
}  // namespace

void TTCPClientSocket::State::DirectConnect(const std::string& ip, const std::string& port) {
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
        readToEnd = false;
        s.LineBuffer.clear();
        lines.ResetCarry();
        meter.Reset();
    }
    s.CheckError();
    Status(SR_Connect, ip + ":" + port);
}

void TTCPClientSocket::State::OpenHandle(bool ipv6) {
    int error = 0;
    const int fd = OpenTcpHandle(ipv6, s.SizeRecvBuffer, s.SizeSendBuffer, error);
    if (fd < 0) {
        s.LastError = error;
        return;
    }
    handle = TSocketHandle(fd);
    Status(SR_SocketCreate, ipv6 ? "IPv6" : "IPv4");
}

void TTCPClientSocket::State::TunnelConnect(const std::string& ip, const std::string& port) {
    s.HTTPTunnelAnswer.clear();
    DirectConnect(s.HTTPTunnelIP, s.HTTPTunnelPort);
    if (s.LastError != 0) return;  // already reported
    const int portNumber = PortNumber(port);
    const std::string host = ip.find(':') != std::string::npos ? "[" + ip + "]" : ip;
    // Credentials go on the wire in the ANSI code page, like every other header text.
    std::string authorization;
    if (!s.HTTPTunnelUser.empty())
        authorization = "Basic " + EncodeBase64(Utf8ToAnsi(s.HTTPTunnelUser + ":" + s.HTTPTunnelPass));
    for (bool answering = false;; answering = true) {
        std::string request = "CONNECT " + host + ":" + std::to_string(std::max(portNumber, 0)) + " HTTP/1.0\r\n";
        if (!authorization.empty()) request += "Proxy-Authorization: " + authorization + "\r\n";
        // An HTTP/1.0 client's connection ends with the answer unless it asks otherwise; a
        // connection-oriented handshake needs the next round on it.
        if (answering) request += "Proxy-Connection: keep-alive\r\n";
        request += "\r\n";
        Send(request.data(), request.size());
        size_t total = 0;
        int64_t length = -1;
        bool closes = false, denied = false;
        std::string line;
        s.HTTPTunnelAnswer.clear();
        while (s.LastError == 0 && ReadLine(s.HTTPTunnelTimeout, "\n", line)) {
            total += line.size() + 1;
            if (total > kTunnelAnswerLimit) {
                s.LastError = wsNoBufferSpace;
                break;
            }
            if (line.empty() || line == "\r") break;
            if (line.compare(0, 5, "HTTP/") == 0 && line.size() > 11) {
                s.HTTPTunnel = line[9] == '2';
                denied = line.compare(9, 3, "407") == 0;
                closes = line.compare(5, 3, "1.0") == 0;  // HTTP/1.0 closes unless it says keep-alive
            }
            if (line.back() == '\r') line.pop_back();
            const std::string upper = UpperCase(line);
            if (upper.rfind("CONTENT-LENGTH:", 0) == 0 && !TryStrToInt64(Trim(line.substr(15)), length)) length = -1;
            if (upper.rfind("PROXY-CONNECTION:", 0) == 0 || upper.rfind("CONNECTION:", 0) == 0) {
                if (upper.find("CLOSE") != std::string::npos) closes = true;
                else if (upper.find("KEEP-ALIVE") != std::string::npos) closes = false;
            }
            if (s.HTTPTunnelAnswer.size() < 200) s.HTTPTunnelAnswer.push_back(AnsiToUtf8(line));
        }
        if (s.LastError != 0 || s.HTTPTunnel || !denied || !s.HTTPTunnelAuth) break;
        // The proxy's page about the 407 is read off, so the next round can use the same
        // connection, as connection-oriented schemes need.
        std::string page;
        bool keep = !closes && length >= 0 && size_t(length) <= kTunnelAnswerLimit &&
                          (length == 0 || ReadExact(size_t(length), s.HTTPTunnelTimeout, page));
        if (s.LastError != 0) break;
        s.HTTPTunnelReconnect = false;
        if (!s.HTTPTunnelAuth(s.HTTPTunnelAnswer, authorization)) break;
        if (s.HTTPTunnelReconnect) keep = false;
        // Something readable now, after the whole answer, is the proxy closing after all.
        if (keep && (!s.LineBuffer.empty() || s.CanRead(0))) {
            if (s.LastError != 0) break;
            keep = false;
        }
        if (!keep) {
            handle.Reset();
            connected = false;
            DirectConnect(s.HTTPTunnelIP, s.HTTPTunnelPort);
            if (s.LastError != 0) return;
        }
    }
    if (s.LastError == 0 && !s.HTTPTunnel) s.LastError = wsConnectionRefused;
    s.CheckError();
}

void TTCPClientSocket::Connect(const std::string& IP, const std::string& Port) {
    ResetLastError();
    HTTPTunnel = false;
    // The target, also through a tunnel, is what a TLS session belongs to.
    tls_->Peer = ResolverHost(IP) + "\n" + Port;
    if (HTTPTunnelIP.empty())
        state_->DirectConnect(IP, Port);
    else
        state_->TunnelConnect(IP, Port);
}

void TTCPClientSocket::Bind(const std::string& IP, const std::string& Port) {
    ResetLastError();
    const bool anyIP = IP.empty() || IP == "0.0.0.0";
    const bool anyPort = Port.empty() || Port == "0";
    if (anyIP && anyPort) return;  // binding to the wildcard changes nothing
    TSockAddr addr;
    LastError = ResolveAddress(IP, Port, PreferIP4, addr);
    if (LastError == 0 && !state_->handle.Valid()) state_->OpenHandle(addr.IPv6);
    if (LastError == 0) LastError = BindHandle(state_->handle.Get(), addr);
    if (LastError == 0) state_->Status(SR_Bind, GetLocalSinIP() + ":" + std::to_string(GetLocalSinPort()));
    CheckError();
}

bool TTCPClientSocket::StartTLS() {
    ResetLastError();
    tls_->LastError = 0;
    tls_->LastErrorDesc.clear();
    if (!state_->handle.Valid()) {
        LastError = wsNotConnected;
    } else if (!tls_->Connect(state_->handle.Get(), ConnectionTimeout, &StopFlag)) {
        // A handshake cut short by its wait fails like any other wait of the socket.
        LastError = tls_->WaitError != 0 ? tls_->WaitError : wsSystemNotReady;
        if (LastError == wsConnectionAborted) StopFlag = false;
    }
    CheckError();
    return LastError == 0;
}
