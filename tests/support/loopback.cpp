#include "tests/support/loopback.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>

#include <cstdint>

namespace {
sockaddr_in V4(int Port) {
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    a.sin_port = htons(uint16_t(Port));
    return a;
}

// Binds to Address and reads back the port the system gave.
template <class Address>
int BindAndReadPort(int Fd, Address a, in_port_t Address::*PortField) {
    if (::bind(Fd, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0) return 0;
    socklen_t len = sizeof a;
    if (::getsockname(Fd, reinterpret_cast<sockaddr*>(&a), &len) != 0) return 0;
    return ntohs(a.*PortField);
}
}  // namespace

int BindToLoopback(int Fd, bool Ipv6) {
    if (!Ipv6) return BindAndReadPort(Fd, V4(0), &sockaddr_in::sin_port);
    sockaddr_in6 a{};
    a.sin6_family = AF_INET6;
    a.sin6_addr = in6addr_loopback;
    return BindAndReadPort(Fd, a, &sockaddr_in6::sin6_port);
}

bool ConnectToLoopback(int Fd, int Port) {
    const sockaddr_in a = V4(Port);
    return ::connect(Fd, reinterpret_cast<const sockaddr*>(&a), sizeof a) == 0;
}
