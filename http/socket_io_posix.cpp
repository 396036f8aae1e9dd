#include "http/socket_io.h"

#include <arpa/inet.h>
#include <netdb.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <thread>

#include "http/socket_errors.h"

namespace http {

namespace {
class TSystemSocketIO final : public TSocketRawIO {
public:
    long Send(int Fd, const void* Buffer, size_t Len, int& Error) override {
        for (;;) {
            const ssize_t n = ::send(Fd, Buffer, Len, MSG_NOSIGNAL);
            if (n >= 0) return long(n);
            if (errno == EINTR) continue;
            Error = errno == EWOULDBLOCK ? wsWouldBlock : WinsockFromErrno(errno);
            return -1;
        }
    }
    long Recv(int Fd, void* Buffer, size_t Len, int& Error) override {
        for (;;) {
            const ssize_t n = ::recv(Fd, Buffer, Len, 0);
            if (n >= 0) return long(n);
            if (errno == EINTR) continue;
            Error = errno == EWOULDBLOCK ? wsWouldBlock : WinsockFromErrno(errno);
            return -1;
        }
    }
};

}  // namespace

TSocketRawIO& SystemSocketIO() {
    static TSystemSocketIO io;
    return io;
}

TWaitResult WaitSlice(int Fd, bool Write, int SliceMs, int& Error) {
    pollfd p{Fd, short(Write ? POLLOUT : POLLIN), 0};
    const int r = ::poll(&p, 1, SliceMs);
    if (r > 0) {
        if (p.revents & POLLNVAL) {
            Error = wsNotSocket;
            return TWaitResult::Failed;
        }
        // Errors and hang-ups count as ready: the next send or receive reports them.
        return TWaitResult::Ready;
    }
    if (r < 0 && errno != EINTR) {
        Error = WinsockFromErrno(errno);
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

void CloseSocketHandle(int Fd) { ::close(Fd); }

namespace {
void FillNumeric(TSockAddr& out) {
    char host[NI_MAXHOST] = "";
    char serv[NI_MAXSERV] = "";
    ::getnameinfo(reinterpret_cast<const sockaddr*>(out.Storage), out.Len, host, sizeof host, serv, sizeof serv,
                  NI_NUMERICHOST | NI_NUMERICSERV);
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
    if (rc != 0) return WinsockFromResolver(rc, errno);
    std::unique_ptr<addrinfo, void (*)(addrinfo*)> guard(res, ::freeaddrinfo);
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
    servent result{};
    servent* found = nullptr;
    char buf[1024];
    if (::getservbyname_r(Port.c_str(), "tcp", &result, buf, sizeof buf, &found) == 0 && found)
        return ntohs(uint16_t(found->s_port));
    return -1;
}

int OpenTcpHandle(bool IPv6, int RecvBuffer, int SendBuffer, int& Error) {
    const int fd = ::socket(IPv6 ? AF_INET6 : AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, IPPROTO_TCP);
    if (fd < 0) {
        Error = WinsockFromErrno(errno);
        return -1;
    }
    if (RecvBuffer > 0) ::setsockopt(fd, SOL_SOCKET, SO_RCVBUF, &RecvBuffer, sizeof RecvBuffer);
    if (SendBuffer > 0) ::setsockopt(fd, SOL_SOCKET, SO_SNDBUF, &SendBuffer, sizeof SendBuffer);
    // A request is one small write that must leave at once: with Nagle on, the one after a
    // resumed TLS handshake waits for the server's delayed acknowledgement.
    const int noDelay = 1;
    ::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &noDelay, sizeof noDelay);
    return fd;
}

int ConnectHandle(int Fd, const TSockAddr& Addr, int TimeoutMs, const std::atomic<bool>* Stop, bool& Waited) {
    Waited = false;
    if (::connect(Fd, reinterpret_cast<const sockaddr*>(Addr.Storage), Addr.Len) == 0) return 0;
    // An interrupted connect goes on in the background, like one in progress.
    if (errno != EINPROGRESS && errno != EINTR) return WinsockFromErrno(errno);
    int error = 0;
    const TWaitResult waited = WaitSocket(Fd, true, TimeoutMs > 0 ? TimeoutMs : -1, Stop, error);
    if (waited != TWaitResult::Ready) return WaitErrorCode(waited, error);
    int soError = 0;
    socklen_t len = sizeof soError;
    if (::getsockopt(Fd, SOL_SOCKET, SO_ERROR, &soError, &len) != 0) return WinsockFromErrno(errno);
    if (soError != 0) return WinsockFromErrno(soError);
    Waited = true;
    return 0;
}

int BindHandle(int Fd, const TSockAddr& Addr) {
    if (::bind(Fd, reinterpret_cast<const sockaddr*>(Addr.Storage), Addr.Len) == 0) return 0;
    return WinsockFromErrno(errno);
}

void ShutdownSend(int Fd) { ::shutdown(Fd, SHUT_WR); }

int BytesWaiting(int Fd) {
    int n = 0;
    if (Fd < 0 || ::ioctl(Fd, FIONREAD, &n) != 0) return 0;
    return n;
}

bool HandleAddress(int Fd, bool Peer, std::string& IP, int& Port) {
    if (Fd < 0) return false;
    TSockAddr a;
    socklen_t len = sizeof a.Storage;
    auto* sa = reinterpret_cast<sockaddr*>(a.Storage);
    if ((Peer ? ::getpeername(Fd, sa, &len) : ::getsockname(Fd, sa, &len)) != 0) return false;
    a.Len = len;
    FillNumeric(a);
    IP = a.IP;
    Port = a.Port;
    return true;
}

void SleepMs(int Ms) { std::this_thread::sleep_for(std::chrono::milliseconds(Ms)); }

}  // namespace http
