#include "http/socket_io.h"

#include <arpa/inet.h>
#include <netdb.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <memory>
#include <thread>
#include <vector>

#include "http/address_lookup.h"
#include "http/body_pipe.h"
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
    long RecvToPipe(int Fd, TBodyPipe& Pipe, size_t Len, int& Error) override { return Pipe.FromSocket(Fd, Len, Error); }
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

void CloseSocketHandle(int Fd) { ::close(Fd); }

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
    if (rc != 0) return WinsockFromResolver(rc, errno);
    const std::unique_ptr<addrinfo, void (*)(addrinfo*)> guard(res, ::freeaddrinfo);
    for (const addrinfo* a = res; a; a = a->ai_next)
        if (a->ai_family == AF_INET || a->ai_family == AF_INET6)
            AddFoundAddress(Found, a->ai_addr, a->ai_addrlen, a->ai_family == AF_INET6);
    return 0;
}

void FillNumericForm(TSockAddr& Addr) {
    char host[NI_MAXHOST] = "";
    char serv[NI_MAXSERV] = "";
    ::getnameinfo(reinterpret_cast<const sockaddr*>(Addr.Storage), Addr.Len, host, sizeof host, serv, sizeof serv,
                  NI_NUMERICHOST | NI_NUMERICSERV);
    Addr.IP = host;
    Addr.Port = std::atoi(serv);
}

int ServicePort(const std::string& Name) {
    servent result{};
    servent* found = nullptr;
    char buf[1024];
    if (::getservbyname_r(Name.c_str(), "tcp", &result, buf, sizeof buf, &found) == 0 && found)
        return ntohs(uint16_t(found->s_port));
    return -1;
}

bool HandleSockAddr(int Fd, bool Peer, TSockAddr& Out) {
    socklen_t len = sizeof Out.Storage;
    auto* sa = reinterpret_cast<sockaddr*>(Out.Storage);
    if ((Peer ? ::getpeername(Fd, sa, &len) : ::getsockname(Fd, sa, &len)) != 0) return false;
    Out.Len = len;
    return true;
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

void SleepMs(int Ms) { std::this_thread::sleep_for(std::chrono::milliseconds(Ms)); }

}  // namespace http
