// Windows headers depend on their order.
// clang-format off
#include <winsock2.h>
#include <ws2tcpip.h>
#include <windows.h>
// clang-format on

#include <algorithm>
#include <cstdlib>
#include <memory>
#include <vector>

#include "http/address_lookup.h"
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

void CloseSocketHandle(int Fd) { ::closesocket(S(Fd)); }

bool ParsesAsIPAddress(const std::string& Text) {
    unsigned char buf[16];
    return ::inet_pton(AF_INET, Text.c_str(), buf) == 1 || ::inet_pton(AF_INET6, Text.c_str(), buf) == 1;
}

int LookUpAddresses(const std::string& Host, const std::string& Port, bool NumericHost, std::vector<TSockAddr>& Found) {
    addrinfo hints{};
    hints.ai_flags = NumericHost ? AI_NUMERICHOST : 0;
    hints.ai_family = AF_UNSPEC;
    hints.ai_socktype = SOCK_STREAM;
    hints.ai_protocol = IPPROTO_TCP;
    addrinfo* res = nullptr;
    const int rc = ::getaddrinfo(Host.c_str(), Port.c_str(), &hints, &res);
    if (rc != 0) return WinsockFromResolver(rc, 0);
    const std::unique_ptr<addrinfo, void(WSAAPI*)(addrinfo*)> guard(res, ::freeaddrinfo);
    for (const addrinfo* a = res; a; a = a->ai_next)
        if (a->ai_family == AF_INET || a->ai_family == AF_INET6)
            AddFoundAddress(Found, a->ai_addr, a->ai_addrlen, a->ai_family == AF_INET6);
    return 0;
}

void FillNumericForm(TSockAddr& Addr) {
    char host[NI_MAXHOST] = "";
    char serv[NI_MAXSERV] = "";
    ::getnameinfo(reinterpret_cast<const sockaddr*>(Addr.Storage), socklen_t(Addr.Len), host, sizeof host, serv,
                  sizeof serv, NI_NUMERICHOST | NI_NUMERICSERV);
    Addr.IP = host;
    Addr.Port = std::atoi(serv);
}

int ServicePort(const std::string& Name) {
    const servent* found = ::getservbyname(Name.c_str(), "tcp");
    return found ? ntohs(uint16_t(found->s_port)) : -1;
}

bool HandleSockAddr(int Fd, bool Peer, TSockAddr& Out) {
    int len = sizeof Out.Storage;
    auto* sa = reinterpret_cast<sockaddr*>(Out.Storage);
    if ((Peer ? ::getpeername(S(Fd), sa, &len) : ::getsockname(S(Fd), sa, &len)) != 0) return false;
    Out.Len = unsigned(len);
    return true;
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

void SleepMs(int Ms) { ::Sleep(DWORD(Ms < 0 ? 0 : Ms)); }

}  // namespace http
