// The CONNECT tunnel against a scripted proxy: the request it sends and the answers it takes.
#include <gtest/gtest.h>

#include <sys/socket.h>

#include <algorithm>

#include "http/tcp_socket.h"
#include "tests/http/socket_test_util.h"
#include "tests/support/scripted_server.h"

using namespace http;

namespace {
// Reads the CONNECT request up to its empty line, one byte at a time.
std::string ReadConnectRequest(int fd) {
    std::string got;
    char c;
    while (got.find("\r\n\r\n") == std::string::npos && ::recv(fd, &c, 1, 0) == 1) got += c;
    return got;
}
}  // namespace

TEST(SocketTunnel, ProxyAnswers) {
    struct {
        const char* Name;
        std::string Answer;
        int Error;
        bool Tunnel;
    } const cases[] = {
        {"established", "HTTP/1.0 200 Connection established\r\n\r\n", 0, true},
        {"2xx other than 200", "HTTP/1.1 204 No Content\r\nVia: p\r\n\r\n", 0, true},
        {"status line of exactly 12 characters", "HTTP/1.0 200\r\n\r\n", 0, true},
        {"status line of 11 characters with its CR is ignored", "HTTP/1.0 2\r\n\r\n", 10061, false},
        {"answer lines end at LF", "HTTP/1.0 200 OK\nX: y\n\n", 0, true},
        {"proxy wants credentials", "HTTP/1.0 407 Proxy Authentication Required\r\n\r\n", 10061, false},
        {"proxy forbids", "HTTP/1.1 403 Forbidden\r\nContent-Length: 0\r\n\r\n", 10061, false},
        {"interim answer then a refusal", "HTTP/1.0 200 OK\r\nHTTP/1.0 502 Bad Gateway\r\n\r\n", 10061, false},
        {"proxy closes without an answer", "", 10054, false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.Name);
        ScriptedServer proxy;
        std::string request;
        proxy.Accept().Custom([&request](int fd) { request = ReadConnectRequest(fd); });
        if (!c.Answer.empty()) proxy.Send(c.Answer).SleepMs(100);
        proxy.Close().Start();
        TTCPClientSocket s;
        s.HTTPTunnelIP = "127.0.0.1";
        s.HTTPTunnelPort = Port(proxy.Port());
        s.HTTPTunnelTimeout = 2000;
        s.Connect("example.test", "443");
        proxy.Requests();
        EXPECT_EQ(request, "CONNECT example.test:443 HTTP/1.0\r\n\r\n");
        EXPECT_EQ(s.LastError, c.Error);
        EXPECT_EQ(s.HTTPTunnel, c.Tunnel);
        if (c.Error == 10061) {
            EXPECT_EQ(s.LastErrorDesc, "Connection refused");
        }
    }
}

TEST(SocketTunnel, RequestCarriesCredentialsAndBracketsIPv6) {
    ScriptedServer proxy;
    std::string request;
    proxy.Accept()
        .Custom([&request](int fd) { request = ReadConnectRequest(fd); })
        .Send("HTTP/1.0 200 Connection established\r\n\r\n")
        .SleepMs(100)
        .Start();
    TTCPClientSocket s;
    TStatusLog log;
    log.Attach(s);
    s.HTTPTunnelIP = "127.0.0.1";
    s.HTTPTunnelPort = Port(proxy.Port());
    s.HTTPTunnelUser = "user";
    s.HTTPTunnelPass = "p\xc3\xa4:ss";  // UTF-8 inside, Windows-1252 on the wire
    s.Connect("::1", "8443");
    proxy.Requests();
    EXPECT_EQ(s.LastError, 0);
    // Base64 of "user:p" 0xE4 ":ss"
    EXPECT_EQ(request, "CONNECT [::1]:8443 HTTP/1.0\r\nProxy-Authorization: Basic dXNlcjpw5Dpzcw==\r\n\r\n");
    // Only the proxy is resolved and connected; the target stays a name for the proxy.
    EXPECT_EQ(log.Events[0], "ResolvingBegin:127.0.0.1:" + Port(proxy.Port()));
    EXPECT_EQ(log.Events[3], "Connect:127.0.0.1:" + Port(proxy.Port()));
}

TEST(SocketTunnel, SilentProxyTimesOutPerLine) {
    ScriptedServer proxy;
    proxy.Accept().Custom([](int fd) { ReadConnectRequest(fd); }).Send("HTTP/1.0 200 OK\r\n").SleepMs(800).Start();
    TTCPClientSocket s;
    s.HTTPTunnelIP = "127.0.0.1";
    s.HTTPTunnelPort = Port(proxy.Port());
    s.HTTPTunnelTimeout = 200;
    s.Connect("example.test", "443");
    EXPECT_EQ(s.LastError, 10060);
    EXPECT_TRUE(s.HTTPTunnel);  // the status line was good; the answer never ended
}

TEST(SocketTunnel, UnreachableProxyIsReportedOnce) {
    TTCPClientSocket s;
    TStatusLog log;
    log.Attach(s);
    s.HTTPTunnelIP = "no-proxy.invalid";
    s.HTTPTunnelPort = "3128";
    s.Connect("example.test", "443");
    EXPECT_EQ(s.LastError, 11001);
    EXPECT_EQ(std::count(log.Events.begin(), log.Events.end(), "Error:11001,Host not found"), 1);
}
