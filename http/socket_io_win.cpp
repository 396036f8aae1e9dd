// Windows headers depend on their order.
// clang-format off
#include <winsock2.h>
#include <ws2tcpip.h>
#include <windows.h>
// clang-format on

#include <algorithm>
#include <cctype>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <memory>

#include "http/socket_errors.h"
#include "http/socket_io.h"

namespace http {

namespace {
// Windows sockets are started once, at program start, before any request (version 2.2).
// Without them every socket call reports 10093 ("Winsock not initialized").
struct TWinsockStart {
    TWinsockStart() {
        WSADATA data;
        Started = WSAStartup(MAKEWORD(2, 2), &data) == 0;
    }
    ~TWinsockStart() {
        if (Started) WSACleanup();
    }
    bool Started = false;
} g_winsock;

SOCKET S(int Fd) { return SOCKET(unsigned(Fd)); }

class TSystemSocketIO final : public TSocketRawIO {
public:
    long Send(int Fd, const void* Buffer, size_t Len, int& Error) override {
        const int n = ::send(S(Fd), static_cast<const char*>(Buffer), int(std::min<size_t>(Len, 1 << 30)), 0);
        if (n != SOCKET_ERROR) return long(n);
        Error = WSAGetLastError();
        return -1;
    }
    long Recv(int Fd, void* Buffer, size_t Len, int& Error) override {
        const int n = ::recv(S(Fd), static_cast<char*>(Buffer), int(std::min<size_t>(Len, 1 << 30)), 0);
        if (n != SOCKET_ERROR) return long(n);
        Error = WSAGetLastError();
        return -1;
    }
};

}  // namespace

TSocketRawIO& SystemSocketIO() {
    static TSystemSocketIO io;
    return io;
}

TWaitResult WaitSlice(int Fd, bool Write, int SliceMs, int& Error) {
    fd_set ready, failed;
    FD_ZERO(&ready);
    FD_ZERO(&failed);
    FD_SET(S(Fd), &ready);
    // A connect that fails is reported among the exceptions, not as writable.
    FD_SET(S(Fd), &failed);
    timeval tv{SliceMs / 1000, (SliceMs % 1000) * 1000};
    const int r = ::select(0, Write ? nullptr : &ready, Write ? &ready : nullptr, &failed, &tv);
    if (r > 0) return TWaitResult::Ready;  // the next send, receive or SO_ERROR says what happened
    if (r == SOCKET_ERROR) {
        Error = WSAGetLastError();
        return TWaitResult::Failed;
    }
    return TWaitResult::TimedOut;
}

bool IsIPLiteral(const std::string& Host) {
    std::string h = Host;
    if (h.size() >= 2 && h.front() == '[' && h.back() == ']') h = h.substr(1, h.size() - 2);
    unsigned char buf[16];
    return ::inet_pton(AF_INET, h.c_str(), buf) == 1 || ::inet_pton(AF_INET6, h.c_str(), buf) == 1;
}

void CloseSocketHandle(int Fd) { ::closesocket(S(Fd)); }

namespace {
void FillNumeric(TSockAddr& out) {
    char host[NI_MAXHOST] = "";
    char serv[NI_MAXSERV] = "";
    ::getnameinfo(reinterpret_cast<const sockaddr*>(out.Storage), socklen_t(out.Len), host, sizeof host, serv,
                  sizeof serv, NI_NUMERICHOST | NI_NUMERICSERV);
    out.IP = host;
    out.Port = std::atoi(serv);
}
}  // namespace

int ResolveAddress(const std::string& Host, const std::string& Port, bool PreferIP4, TSockAddr& Out) {
    const std::string host = ResolverHost(Host);
    if (IsNeverResolved(host)) return wsHostNotFound;
    addrinfo hints{};
    hints.ai_family = AF_UNSPEC;
    hints.ai_socktype = SOCK_STREAM;
    hints.ai_protocol = IPPROTO_TCP;
    if (IsIPLiteral(host)) hints.ai_flags |= AI_NUMERICHOST;
    addrinfo* res = nullptr;
    const std::string port = Port.empty() ? "0" : Port;
    const int rc = ::getaddrinfo(host.c_str(), port.c_str(), &hints, &res);
    if (rc != 0) return WinsockFromResolver(rc, 0);
    std::unique_ptr<addrinfo, void(WSAAPI*)(addrinfo*)> guard(res, ::freeaddrinfo);
    const addrinfo* pick = res;
    if (PreferIP4)
        for (const addrinfo* a = res; a; a = a->ai_next)
            if (a->ai_family == AF_INET) {
                pick = a;
                break;
            }
    if (pick->ai_addrlen > sizeof Out.Storage) return wsAddressFamilyNotSupported;
    std::memcpy(Out.Storage, pick->ai_addr, pick->ai_addrlen);
    Out.Len = unsigned(pick->ai_addrlen);
    Out.IPv6 = pick->ai_family == AF_INET6;
    FillNumeric(Out);
    return 0;
}

int PortNumber(const std::string& Port) {
    if (!Port.empty() && std::all_of(Port.begin(), Port.end(), [](char c) { return c >= '0' && c <= '9'; }))
        return Port.size() <= 5 && std::stoi(Port) <= 65535 ? std::stoi(Port) : -1;
    const servent* found = Port.empty() ? nullptr : ::getservbyname(Port.c_str(), "tcp");
    return found ? ntohs(uint16_t(found->s_port)) : -1;
}

int OpenTcpHandle(bool IPv6, int RecvBuffer, int SendBuffer, int& Error) {
    const SOCKET s = ::WSASocketW(IPv6 ? AF_INET6 : AF_INET, SOCK_STREAM, IPPROTO_TCP, nullptr, 0,
                                  WSA_FLAG_OVERLAPPED | WSA_FLAG_NO_HANDLE_INHERIT);
    if (s == INVALID_SOCKET) {
        Error = WSAGetLastError();
        return -1;
    }
    u_long nonBlocking = 1;
    ::ioctlsocket(s, FIONBIO, &nonBlocking);
    if (RecvBuffer > 0)
        ::setsockopt(s, SOL_SOCKET, SO_RCVBUF, reinterpret_cast<const char*>(&RecvBuffer), sizeof RecvBuffer);
    if (SendBuffer > 0)
        ::setsockopt(s, SOL_SOCKET, SO_SNDBUF, reinterpret_cast<const char*>(&SendBuffer), sizeof SendBuffer);
    // A request is one small write that must leave at once: with Nagle on, the one after a
    // resumed TLS handshake waits for the server's delayed acknowledgement.
    const BOOL noDelay = TRUE;
    ::setsockopt(s, IPPROTO_TCP, TCP_NODELAY, reinterpret_cast<const char*>(&noDelay), sizeof noDelay);
    return int(s);
}

int ConnectHandle(int Fd, const TSockAddr& Addr, int TimeoutMs, const std::atomic<bool>* Stop, bool& Waited) {
    Waited = false;
    if (::connect(S(Fd), reinterpret_cast<const sockaddr*>(Addr.Storage), int(Addr.Len)) == 0) return 0;
    const int started = WSAGetLastError();
    if (started != WSAEWOULDBLOCK && started != WSAEINPROGRESS) return started;
    int error = 0;
    const TWaitResult waited = WaitSocket(Fd, true, TimeoutMs > 0 ? TimeoutMs : -1, Stop, error);
    if (waited != TWaitResult::Ready) return WaitErrorCode(waited, error);
    int soError = 0;
    int len = sizeof soError;
    if (::getsockopt(S(Fd), SOL_SOCKET, SO_ERROR, reinterpret_cast<char*>(&soError), &len) != 0)
        return WSAGetLastError();
    if (soError != 0) return soError;
    Waited = true;
    return 0;
}

int BindHandle(int Fd, const TSockAddr& Addr) {
    if (::bind(S(Fd), reinterpret_cast<const sockaddr*>(Addr.Storage), int(Addr.Len)) == 0) return 0;
    return WSAGetLastError();
}

void ShutdownSend(int Fd) { ::shutdown(S(Fd), SD_SEND); }

int BytesWaiting(int Fd) {
    u_long n = 0;
    if (Fd < 0 || ::ioctlsocket(S(Fd), FIONREAD, &n) != 0) return 0;
    return int(n);
}

bool HandleAddress(int Fd, bool Peer, std::string& IP, int& Port) {
    if (Fd < 0) return false;
    TSockAddr a;
    int len = sizeof a.Storage;
    auto* sa = reinterpret_cast<sockaddr*>(a.Storage);
    if ((Peer ? ::getpeername(S(Fd), sa, &len) : ::getsockname(S(Fd), sa, &len)) != 0) return false;
    a.Len = unsigned(len);
    FillNumeric(a);
    IP = a.IP;
    Port = a.Port;
    return true;
}

void SleepMs(int Ms) { ::Sleep(DWORD(Ms < 0 ? 0 : Ms)); }

}  // namespace http
