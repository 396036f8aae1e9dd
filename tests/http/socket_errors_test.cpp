// The error step's texts and the translation of the host's error numbers.
#include <gtest/gtest.h>

#include <netdb.h>
#include <cerrno>

#include "http/socket_errors.h"
#include "http/tcp_socket.h"

using namespace http;
using namespace platform;

TEST(SocketErrors, TextsOfTheWinsockNumbers) {
    const std::pair<int, const char*> cases[] = {
        {10004, "Interrupted system call"},
        {10035, "Operation would block"},
        {10041, "Protocol wrong type for Socket"},
        {10049, "Can't assign requested address"},
        {10053, "Software caused connection abort"},
        {10054, "Connection reset by peer"},
        {10055, "No Buffer space available"},
        {10059, "Too many references:can't splice"},
        {10060, "Connection timed out"},
        {10061, "Connection refused"},
        {10071, "Too many levels of remote in path"},
        {10091, "Network subsystem is unusable"},
        {10092, "Winsock DLL cannot support this application"},
        {10101, "Disconnect"},
        {11001, "Host not found"},
        {11002, "Non authoritative - host not found"},
        {11003, "Non recoverable error"},
        {11004, "Valid name, no data record of requested type"},
        {10072, "Other Winsock error (10072)"},
        {99, "Other Winsock error (99)"},
    };
    for (const auto& [code, text] : cases) EXPECT_EQ(TTCPClientSocket::GetErrorDesc(code), text) << code;
    EXPECT_EQ(TTCPClientSocket::GetErrorDesc(0), "");
}

TEST(SocketErrors, ErrnoAndResolverResultsBecomeWinsockNumbers) {
    const std::pair<int, int> errnos[] = {
        {ECONNREFUSED, 10061}, {ETIMEDOUT, 10060},   {ECONNRESET, 10054},   {EPIPE, 10054},
        {EHOSTUNREACH, 10065}, {ENETUNREACH, 10051}, {EADDRINUSE, 10048},   {EADDRNOTAVAIL, 10049},
        {EINTR, 10004},        {EBADF, 10009},       {EACCES, 10013},       {EINVAL, 10022},
        {EMFILE, 10024},       {EAGAIN, 10035},      {EINPROGRESS, 10036},  {ECONNABORTED, 10053},
        {ENOTCONN, 10057},     {EISCONN, 10056},     {EAFNOSUPPORT, 10047}, {ENOBUFS, 10055},
    };
    for (const auto& [e, code] : errnos) EXPECT_EQ(WinsockFromErrno(e), code) << "errno " << e;
    EXPECT_EQ(WinsockFromResolver(EAI_NONAME, 0), 11001);
    EXPECT_EQ(WinsockFromResolver(EAI_AGAIN, 0), 11002);
    EXPECT_EQ(WinsockFromResolver(EAI_FAIL, 0), 11003);
    EXPECT_EQ(WinsockFromResolver(EAI_SYSTEM, ECONNREFUSED), 10061);
}

TEST(SocketErrors, ExceptionCarriesCodeTextAndMessage) {
    const ESocketError e(10060, "Connection timed out");
    EXPECT_STREQ(e.what(), "TCP/IP Socket error 10060: Connection timed out");
    EXPECT_EQ(e.ErrorCode, 10060);
    EXPECT_EQ(e.ErrorMessage, "Connection timed out");
    const EUpdaterError& base = e;  // callers catch the common base and rewrite the message
    EXPECT_EQ(base.Message(), "TCP/IP Socket error 10060: Connection timed out");
}
