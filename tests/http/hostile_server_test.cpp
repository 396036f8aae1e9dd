// Servers that stall, drip or lie: every wait ends within the time-out (or at Stop), every
// broken reply fails, and only a real 200 counts as a download.
#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <memory>
#include <thread>

#include "http/http_transport.h"
#include "http/zel_http_file_downloader.h"
#include "platform/errors.h"
#include "tests/http/sender_fixtures.h"
#include "tests/support/loopback.h"
#include "tests/support/scripted_server.h"
#include "tests/support/temp_dir.h"

using namespace http;
using namespace platform;

namespace {
using Clock = std::chrono::steady_clock;

int64_t MsSince(Clock::time_point start) {
    return std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start).count();
}

// A server step that sends Bytes in pieces of Piece bytes, Pause apart, and stops as soon as
// the client is gone.
std::function<void(int)> Paced(std::string Bytes, size_t Piece, int PauseMs) {
    return [Bytes = std::move(Bytes), Piece, PauseMs](int fd) {
        for (size_t at = 0; at < Bytes.size(); at += Piece) {
            if (::send(fd, Bytes.data() + at, std::min(Piece, Bytes.size() - at), MSG_NOSIGNAL) < 0) return;
            pollfd p{fd, POLLIN, 0};
            // A client that closed makes the connection readable: stop dripping then.
            if (::poll(&p, 1, PauseMs) > 0) {
                char c;
                if (::recv(fd, &c, 1, MSG_DONTWAIT) <= 0) return;
            }
        }
    };
}

class HostileServer : public ::testing::Test {
protected:
    FakeProxyServices os;  // no proxy unless a case sets one
    ScopedOSServices use{os};
    TempDir dir;
};

TEST_F(HostileServer, SilentPeerInTheTlsHandshake) {
    struct {
        const char* Name;
        bool Tunnel;
        bool Stop;  // Abort from another thread instead of waiting for the time-out
    } const cases[] = {
        {"direct, time-out", false, false},
        {"through a tunnel, time-out", true, false},
        {"direct, Stop", false, true},
        {"through a tunnel, Stop", true, true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.Name);
        ScriptedServer server;
        server.Accept();
        if (c.Tunnel) server.ExpectRequest().Send("HTTP/1.0 200 Connection established\r\n\r\n");
        server.SleepMs(1500).Close().Start();
        THTTPTransport t;
        t.Timeout = c.Stop ? 20000 : 400;
        std::string url = "https://" + server.HostPort() + "/x";
        if (c.Tunnel) {
            t.ProxyHost = "127.0.0.1";
            t.ProxyPort = std::to_string(server.Port());
            url = "https://update.example/x";
        }
        std::thread stopper;
        if (c.Stop)
            stopper = std::thread([&t] {
                std::this_thread::sleep_for(std::chrono::milliseconds(200));
                t.Abort();
            });
        const auto start = Clock::now();
        EXPECT_FALSE(t.HTTPMethod("GET", url));
        const int64_t took = MsSince(start);
        if (stopper.joinable()) stopper.join();
        EXPECT_EQ(t.Sock->LastError, c.Stop ? 10053 : 10060) << t.Sock->LastErrorDesc;
        EXPECT_GE(took, c.Stop ? 150 : 350);
        EXPECT_LT(took, c.Stop ? 800 : 1200);
    }
}

TEST_F(HostileServer, ConnectThatIsNeverAcceptedEndsAtTheTimeOut) {
    // A listener whose backlog is full drops further connection requests.
    const int listener = ::socket(AF_INET, SOCK_STREAM, 0);
    const int bound = BindToLoopback(listener);
    ASSERT_NE(bound, 0);
    ASSERT_EQ(::listen(listener, 0), 0);
    const std::string port = std::to_string(bound);
    std::vector<std::unique_ptr<TTCPClientSocket>> fillers;
    for (int i = 0; i < 2; ++i) {
        fillers.push_back(std::make_unique<TTCPClientSocket>());
        fillers.back()->ConnectionTimeout = 200;
        fillers.back()->Connect("127.0.0.1", port);
    }
    TzelHTTPFileDownloader dl;
    dl.Timeout = 400;
    const auto start = Clock::now();
    try {
        dl.DownloadFile("http://127.0.0.1:" + port + "/x", dir.File("x"), nullptr);
        ADD_FAILURE() << "no exception";
    } catch (const ESocketError& e) {
        EXPECT_EQ(e.ErrorCode, 10060);
        EXPECT_EQ(std::string(e.what()),
                  "No connection to internet.  A firewall may be preventing connection to the internet from this "
                  "application.");
    }
    EXPECT_LT(MsSince(start), 1500);
    EXPECT_FALSE(dir.Exists("x"));
    ::close(listener);
}

TEST_F(HostileServer, LowSpeedRule) {
    const std::string steadyBody(10240, 's');
    struct {
        const char* Name;
        std::function<void(int)> Serve;
        bool Ok;
    } const cases[] = {
        {"dripping head, 10 bytes a second", Paced("HTTP/1.0 200 OK\r\nContent-Length: 5\r\n\r\nhello", 1, 100), false},
        {"dripping body, 10 bytes a second",
         [](int fd) {
             const std::string head = "HTTP/1.0 200 OK\r\nContent-Length: 2000\r\n\r\n";
             ::send(fd, head.data(), head.size(), MSG_NOSIGNAL);
             Paced(std::string(2000, 'd'), 1, 100)(fd);
         },
         false},
        {"steady 4 KiB a second", Paced("HTTP/1.0 200 OK\r\nContent-Length: 10240\r\n\r\n" + steadyBody, 256, 62),
         true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.Name);
        ScriptedServer server;
        server.Accept().ExpectRequest().Custom(c.Serve).Close().Start();
        THTTPTransport t;
        t.Timeout = 3000;  // no single wait comes near it
        t.Sock->LowSpeedWindow = 1000;
        const auto start = Clock::now();
        EXPECT_EQ(t.HTTPMethod("GET", server.Url("/f")), c.Ok) << t.Sock->LastErrorDesc;
        if (c.Ok) {
            EXPECT_EQ(t.Document.ReadAllBytes(), steadyBody);
        } else {
            EXPECT_EQ(t.Sock->LastError, 10060);
            EXPECT_LT(MsSince(start), 2500);
        }
    }
}

// Header lines as a failure message quotes them: their line ends shown escaped.
std::string Shown(std::string Lines) {
    for (size_t at; (at = Lines.find("\r\n")) != std::string::npos;) Lines.replace(at, 2, "\\x0D\\x0A");
    return Lines;
}

TEST_F(HostileServer, DownloadOutcomes) {
    const std::string chunked = "HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n5\r\nhello\r\n";
    const std::string upstream = "HTTP/1.1 404 Not Found\r\nX-Upstream-Status: 200 OK\r\nContent-Length: 4\r\n\r\n";
    const std::string five00 = "HTTP/1.1 500 200 OK\r\nContent-Length: 4\r\n\r\n";
    struct {
        const char* Name;
        std::string Reply;
        std::string Message;  // empty: success with File in the target; "{url}" stands for the URL
        std::string File;
    } const cases[] = {
        {"404 with a \"200 OK\" header", upstream + "gone", "Unable to get file at location: \"{url}\"\r" + Shown(upstream),
         ""},
        {"status 500 with \"200 OK\" after it", five00 + "fail", "Unable to get file at location: \"{url}\"\r" + Shown(five00),
         ""},
        {"200 without a reason phrase", "HTTP/1.1 200\r\nContent-Length: 4\r\n\r\nbody", "", "body"},
        {"200 Ok", "HTTP/1.1 200 Ok\r\nContent-Length: 4\r\n\r\nbody", "", "body"},
        {"escape sequence in a header is shown escaped",
         "HTTP/1.1 403 \x1b[2JForbidden\r\nX-Bell: a\x07z\r\nContent-Length: 0\r\n\r\n",
         "Unable to get file at location: \"{url}\"\rHTTP/1.1 403 \\x1B[2JForbidden\\x0D\\x0AX-Bell: a\\x07z\\x0D\\x0A"
         "Content-Length: 0\\x0D\\x0A\\x0D\\x0A",
         ""},
        {"chunk size zz", chunked + "zz\r\nmore\r\n0\r\n\r\n", "TCP/IP Socket error 10022: Invalid argument", ""},
        {"chunk size -5", chunked + "-5\r\nmore\r\n0\r\n\r\n", "TCP/IP Socket error 10022: Invalid argument", ""},
        {"chunk size that overflows", chunked + "10000000000000000\r\nmore\r\n0\r\n\r\n",
         "TCP/IP Socket error 10022: Invalid argument", ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.Name);
        ScriptedServer server;
        server.Accept().ExpectRequest().Send(c.Reply).Close().Start();
        TzelHTTPFileDownloader dl;
        dl.Timeout = 3000;
        const std::string url = server.Url("/files/app.exe");
        std::string message = c.Message;
        if (const size_t at = message.find("{url}"); at != std::string::npos) message.replace(at, 5, url);
        try {
            EXPECT_TRUE(dl.DownloadFile(url, dir.File("target"), nullptr));
            EXPECT_TRUE(message.empty()) << "no exception";
            EXPECT_EQ(dir.Read("target"), c.File);
        } catch (const EUpdaterError& e) {
            EXPECT_EQ(std::string(e.what()), message);
            EXPECT_FALSE(dir.Exists("target"));
        }
    }
}

TEST_F(HostileServer, CookiesStayWithTheirHost) {
    ScriptedServer setter, other;
    setter.Accept()
        .ExpectRequest()
        .Send("HTTP/1.0 200 OK\r\nSet-Cookie: sid=1; path=/\r\nSet-Cookie: sec=2; Secure\r\nContent-Length: 0\r\n\r\n")
        .Close()
        .Accept()
        .ExpectRequest()
        .Send("HTTP/1.0 200 OK\r\nContent-Length: 0\r\n\r\n")
        .Close()
        .Start();
    other.Accept().ExpectRequest().Send("HTTP/1.0 200 OK\r\nContent-Length: 0\r\n\r\n").Close().Start();
    THTTPTransport t;
    t.Timeout = 3000;
    const std::string urls[] = {setter.Url("/a"), "http://localhost:" + std::to_string(other.Port()) + "/b",
                                setter.Url("/c")};
    for (const std::string& url : urls) {
        t.Clear();
        ASSERT_TRUE(t.HTTPMethod("GET", url)) << url << ": " << t.Sock->LastErrorDesc;
    }
    const std::string toOther = other.Request(0), back = setter.Request(1);
    EXPECT_EQ(toOther.find("Cookie:"), std::string::npos) << toOther;
    // The Secure cookie came over plain http: it is neither kept nor sent back over http.
    EXPECT_NE(back.find("\r\nCookie: sid=1\r\n"), std::string::npos) << back;
}
}  // namespace
