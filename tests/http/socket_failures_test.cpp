// How the socket fails: closed peers, time-outs, refusals, names, the stop flag, full send
// buffers, and the fault injector.
#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <functional>
#include <memory>
#include <thread>
#include <vector>

#include "http/tcp_socket.h"
#include "platform/wait_hook.h"
#include "tests/http/socket_test_util.h"
#include "tests/support/loopback.h"
#include "tests/support/real_peers.h"
#include "tests/support/scripted_server.h"
#include "tests/support/socket_faults.h"

using namespace http;

namespace {
std::string LastErrorEvent(const TStatusLog& log) {
    for (auto it = log.Events.rbegin(); it != log.Events.rend(); ++it)
        if (it->rfind("Error:", 0) == 0) return *it;
    return "";
}
}  // namespace

TEST(SocketFailures, PeerThatClosesWithoutSending) {
    for (const bool line : {true, false}) {
        SCOPED_TRACE(line ? "line receive" : "packet receive");
        ScriptedServer server;
        server.Accept().Close().Start();
        TTCPClientSocket s;
        TStatusLog log;
        log.Attach(s);
        s.ConvertLineEnd = true;
        s.Connect("127.0.0.1", Port(server.Port()));
        ASSERT_EQ(s.LastError, 0);
        EXPECT_EQ(line ? s.RecvString(2000) : s.RecvPacket(2000), "");
        EXPECT_EQ(s.LastError, 10054);
        EXPECT_EQ(s.LastErrorDesc, "Connection reset by peer");
        EXPECT_EQ(LastErrorEvent(log), "Error:10054,Connection reset by peer");
    }
}

TEST(SocketFailures, ReceiveTimeOut) {
    ScriptedServer server;
    server.Accept().SleepMs(700).Start();
    TTCPClientSocket s;
    s.Connect("127.0.0.1", Port(server.Port()));
    EXPECT_EQ(s.RecvPacket(150), "");
    EXPECT_EQ(s.LastError, 10060);
    EXPECT_EQ(s.LastErrorDesc, "Connection timed out");

    s.RaiseExcept = true;
    try {
        s.RecvString(150);
        ADD_FAILURE() << "no exception";
    } catch (const ESocketError& e) {
        EXPECT_STREQ(e.what(), "TCP/IP Socket error 10060: Connection timed out");
        EXPECT_EQ(e.ErrorCode, 10060);
        EXPECT_EQ(e.ErrorMessage, "Connection timed out");
    }
}

TEST(SocketFailures, ConnectFailures) {
    struct {
        const char* Name;
        std::string Host, Port;
        int Error;
        const char* Text;
    } const cases[] = {
        {"refused port", "127.0.0.1", Port(FreeLoopbackPort()), 10061, "Connection refused"},
        {"name that does not resolve", "no-such-host.invalid", "80", 11001, "Host not found"},
        {"bare reserved name", "invalid", "80", 11001, "Host not found"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.Name);
        TTCPClientSocket s;
        TStatusLog log;
        log.Attach(s);
        s.Connect(c.Host, c.Port);
        EXPECT_EQ(s.LastError, c.Error);
        EXPECT_EQ(s.LastErrorDesc, c.Text);
        EXPECT_EQ(LastErrorEvent(log), "Error:" + std::to_string(c.Error) + "," + c.Text);

        s.RaiseExcept = true;
        TStatusLog raised;
        raised.Attach(s);
        EXPECT_THROW(s.Connect(c.Host, c.Port), ESocketError);
        // With exceptions on, Connect is reported only after a successful connect.
        EXPECT_EQ(raised.Events.back(), "Error:" + std::to_string(c.Error) + "," + c.Text);
    }
}

TEST(SocketFailures, ConnectionTimeoutBoundsTheConnect) {
    // A listener whose backlog is full drops further connection requests, so the connect
    // never completes.
    const int listener = ::socket(AF_INET, SOCK_STREAM, 0);
    const int bound = BindToLoopback(listener);
    ASSERT_NE(bound, 0);
    ASSERT_EQ(::listen(listener, 0), 0);
    std::vector<std::unique_ptr<TTCPClientSocket>> fillers;
    for (int i = 0; i < 2; ++i) {
        auto f = std::make_unique<TTCPClientSocket>();
        f->ConnectionTimeout = 200;
        f->Connect("127.0.0.1", Port(bound));
        fillers.push_back(std::move(f));
    }
    TTCPClientSocket s;
    TStatusLog log;
    log.Attach(s);
    s.ConnectionTimeout = 300;
    s.Connect("127.0.0.1", Port(bound));
    EXPECT_EQ(s.LastError, 10060);
    EXPECT_EQ(s.LastErrorDesc, "Connection timed out");
    ::close(listener);
}

TEST(SocketFailures, StopFlagFailsTheNextSendOrReceiveOnce) {
    ScriptedServer server;
    server.Accept().ExpectBytes(2).Send("ok").SleepMs(100).Start();
    TTCPClientSocket s;
    TStatusLog log;
    log.Attach(s);
    s.Connect("127.0.0.1", Port(server.Port()));
    s.StopFlag = true;
    s.SendString("hi");
    EXPECT_EQ(s.LastError, 10053);
    EXPECT_EQ(s.LastErrorDesc, "Software caused connection abort");
    EXPECT_EQ(LastErrorEvent(log), "Error:10053,Software caused connection abort");
    EXPECT_FALSE(s.StopFlag);
    s.SendString("hi");  // the flag was used up
    EXPECT_EQ(s.LastError, 0);
    s.StopFlag = true;
    EXPECT_EQ(s.RecvPacket(2000), "");
    EXPECT_EQ(s.LastError, 10053);
    EXPECT_EQ(s.RecvPacket(2000), "ok");
}

TEST(SocketFailures, StopFlagStopsAReceiveTheLineBufferCouldAnswer) {
    ScriptedServer server;
    server.Accept().Send("a\r\nb\r\n").SleepMs(100).Start();
    TTCPClientSocket s;
    s.ConvertLineEnd = true;
    s.Connect("127.0.0.1", Port(server.Port()));
    ASSERT_EQ(s.RecvString(2000), "a");
    ASSERT_EQ(s.LineBuffer, "b\r\n");  // the next line is already here
    const struct {
        const char* Name;
        std::function<std::string()> Receive;
    } cases[] = {
        {"line", [&] { return s.RecvString(2000); }},
        {"packet", [&] { return s.RecvPacket(2000); }},
        {"exact size", [&] { return s.RecvExact(1, 2000); }},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.Name);
        s.StopFlag = true;
        EXPECT_EQ(c.Receive(), "");
        EXPECT_EQ(s.LastError, 10053);
        EXPECT_EQ(s.LineBuffer, "b\r\n");
    }
    EXPECT_EQ(s.RecvString(2000), "b");
}

TEST(SocketFailures, StopFlagFromAnotherThreadEndsAWait) {
    ScriptedServer server;
    server.Accept().SleepMs(1500).Start();
    TTCPClientSocket s;
    s.Connect("127.0.0.1", Port(server.Port()));
    std::thread stopper([&] {
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
        s.StopFlag = true;
    });
    // Without the early end the wait would run out and report 10060 instead.
    EXPECT_EQ(s.RecvPacket(60000), "");
    stopper.join();
    EXPECT_EQ(s.LastError, 10053);
}

TEST(SocketFailures, SendThatCannotProceedTimesOut) {
    // The server never reads: once both buffers are full a piece cannot go out.
    ScriptedServer server;
    server.Accept().SleepMs(1500).Start();
    TTCPClientSocket s;
    s.SizeSendBuffer = 4096;
    s.NonblockSendTimeout = 200;
    s.Connect("127.0.0.1", Port(server.Port()));
    const std::string big(16 << 20, 'x');
    s.SendString(big);
    EXPECT_EQ(s.LastError, 10060);
    EXPECT_EQ(s.LastErrorDesc, "Connection timed out");
}

TEST(SocketFailures, SendToAPeerThatHasGoneDoesNotKillTheProcess) {
    ScriptedServer server;
    server.Accept().Close().Start();
    TTCPClientSocket s;
    s.Connect("127.0.0.1", Port(server.Port()));
    server.Requests();  // the server has closed
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    const std::string data(1 << 20, 'x');
    for (int i = 0; i < 5 && s.LastError == 0; ++i) s.SendString(data);
    EXPECT_EQ(s.LastError, 10054);  // EPIPE or ECONNRESET, never SIGPIPE
}

TEST(SocketFailures, FaultInjectorFailsTheNthReadOrWrite) {
    // The exchange: read "one" (read 1), send "ping!" (write 1), read "two" (read 2).
    struct {
        const char* Name;
        int Read, Write, Code;
        const char* FailsAt;
    } const cases[] = {
        {"no fault", -1, -1, 10054, ""},
        {"first read", 1, -1, 10054, "read one"},
        {"first write, chosen code", -1, 1, 10053, "send"},
        {"second read, chosen code", 2, -1, 10060, "read two"},
        {"a read past the exchange", 3, -1, 10054, ""},
        {"a write past the exchange", -1, 2, 10054, ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.Name);
        ScriptedServer server;
        server.Accept().Send("one").ExpectBytes(5).Send("two").SleepMs(100).Start();
        TTCPClientSocket s;
        s.Connect("127.0.0.1", Port(server.Port()));
        SetSocketFault(c.Read, c.Write, c.Code);
        std::string failedAt;
        int code = 0;
        auto note = [&](const char* where) {
            if (failedAt.empty()) failedAt = where, code = s.LastError;
        };
        if (s.RecvPacket(2000) != "one") note("read one");
        s.SendString("ping!");
        if (s.LastError != 0) {
            note("send");
            s.SendString("ping!");  // a fault fires once: the server still gets its bytes
        }
        if (s.RecvPacket(2000) != "two") note("read two");
        EXPECT_EQ(failedAt, c.FailsAt);
        if (!failedAt.empty()) {
            EXPECT_EQ(code, c.Code);
        }
        if (failedAt.empty()) {
            EXPECT_EQ(SocketReadCount(), 2);
            EXPECT_EQ(SocketWriteCount(), 1);
        }
        ClearSocketFault();
    }
}

// The window's hook runs between the slices of every wait; a stop it reports ends the wait
// at once with 10053, whether the connect, the TLS handshake or the receive is waiting.
TEST(SocketFailures, AWaitHookThatReportsAStopEndsTheWait) {
    ScriptedServer silent, silentTls;
    silent.Accept().SleepMs(1500).Start();
    silentTls.Accept().SleepMs(1500).Start();
    const int listener = ::socket(AF_INET, SOCK_STREAM, 0);
    const int full = BindToLoopback(listener);
    ASSERT_EQ(::listen(listener, 0), 0);
    std::vector<std::unique_ptr<TTCPClientSocket>> fillers;
    for (int i = 0; i < 2; ++i) {
        fillers.push_back(std::make_unique<TTCPClientSocket>());
        fillers.back()->ConnectionTimeout = 200;
        fillers.back()->Connect("127.0.0.1", Port(full));
    }
    const struct {
        const char* name;
        std::function<void(TTCPClientSocket&)> wait;
    } cases[] = {
        {"connect to a listener that never accepts",
         [&](TTCPClientSocket& s) {
             s.ConnectionTimeout = 60000;
             s.Connect("127.0.0.1", Port(full));
         }},
        {"TLS handshake with a server that never answers it",
         [&](TTCPClientSocket& s) {
             s.Connect("127.0.0.1", Port(silentTls.Port()));
             ASSERT_EQ(s.LastError, 0);
             EXPECT_FALSE(s.StartTLS());
         }},
        {"receive from a silent server",
         [&](TTCPClientSocket& s) {
             s.Connect("127.0.0.1", Port(silent.Port()));
             ASSERT_EQ(s.LastError, 0);
             EXPECT_EQ(s.RecvPacket(60000), "");
         }},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        int calls = 0;
        const platform::TScopedWaitHook hook([&] { return ++calls == 3; });
        TTCPClientSocket s;
        const auto start = std::chrono::steady_clock::now();
        c.wait(s);
        EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(1000));
        EXPECT_EQ(calls, 3);
        EXPECT_EQ(s.LastError, 10053);
    }
    ::close(listener);
}
