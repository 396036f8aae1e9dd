// The status and monitor hooks: what is reported, in which order, with which values.
#include <gtest/gtest.h>

#include <algorithm>

#include "http/tcp_socket.h"
#include "tests/http/socket_test_util.h"
#include "tests/support/scripted_server.h"

using namespace http;

TEST(SocketHooks, ConnectSendReceiveClose) {
    ScriptedServer server;
    server.Accept().ExpectBytes(5).Send("world").SleepMs(200).Start();
    TTCPClientSocket s;
    TStatusLog log;
    log.Attach(s);
    const std::string port = Port(server.Port());
    s.Connect("127.0.0.1", port);
    s.SendString("hello");
    ASSERT_TRUE(s.CanRead(2000));
    while (s.WaitingData() < 5) ASSERT_TRUE(s.CanRead(2000));
    EXPECT_EQ(s.RecvPacket(2000), "world");
    s.CloseSocket();
    const std::vector<std::string> expected = {
        "ResolvingBegin:127.0.0.1:" + port,
        "ResolvingEnd:127.0.0.1:" + port,
        "SocketCreate:IPv4",
        "Connect:127.0.0.1:" + port,
        "WriteCount:5",
        "CanRead:",
        "ReadCount:5",
        "SocketClose:",
    };
    // The wait loop reports CanRead once per wait; how many waits it took is up to timing.
    std::vector<std::string> got;
    for (const auto& e : log.Events)
        if (got.empty() || e != "CanRead:" || got.back() != "CanRead:") got.push_back(e);
    EXPECT_EQ(got, expected);
    EXPECT_EQ(s.LastError, 0);
}

TEST(SocketHooks, ConnectByNameReportsTheResolvedAddress) {
    ScriptedServer server;
    server.Accept().SleepMs(100).Start();
    TTCPClientSocket s;
    TStatusLog log;
    log.Attach(s);
    const std::string port = Port(server.Port());
    s.Connect("localhost", port);
    ASSERT_EQ(s.LastError, 0);
    ASSERT_GE(log.Events.size(), 4u);
    EXPECT_EQ(log.Events[0], "ResolvingBegin:localhost:" + port);
    EXPECT_EQ(log.Events[1], "ResolvingEnd:127.0.0.1:" + port);  // IPv4 preferred
    EXPECT_EQ(log.Events[3], "Connect:localhost:" + port);
}

TEST(SocketHooks, IPv6LiteralMakesAnIPv6Socket) {
    ScriptedServer server(true);
    server.Accept().Send("six").SleepMs(100).Start();
    TTCPClientSocket s;
    TStatusLog log;
    log.Attach(s);
    const std::string port = Port(server.Port());
    s.Connect("::1", port);
    ASSERT_EQ(s.LastError, 0) << s.LastErrorDesc;
    EXPECT_EQ(log.Events[1], "ResolvingEnd:::1:" + port);
    EXPECT_EQ(log.Events[2], "SocketCreate:IPv6");
    EXPECT_EQ(s.RecvPacket(2000), "six");
    EXPECT_EQ(s.GetRemoteSinIP(), "::1");
}

TEST(SocketHooks, BindToAnInterfaceBeforeConnecting) {
    ScriptedServer server;
    server.Accept().SleepMs(100).Start();
    TTCPClientSocket s;
    TStatusLog log;
    log.Attach(s);
    s.Bind("0.0.0.0", "0");
    EXPECT_TRUE(log.Events.empty());  // the wildcard binds nothing
    EXPECT_FALSE(s.IsOpen());
    s.Bind("127.0.0.1", "0");
    ASSERT_EQ(s.LastError, 0);
    ASSERT_EQ(log.Events.size(), 2u);
    EXPECT_EQ(log.Events[0], "SocketCreate:IPv4");
    EXPECT_EQ(log.Events[1], "Bind:127.0.0.1:" + std::to_string(s.GetLocalSinPort()));
    const int bound = s.GetLocalSinPort();
    s.Connect("127.0.0.1", Port(server.Port()));
    ASSERT_EQ(s.LastError, 0);
    EXPECT_EQ(s.GetLocalSinPort(), bound);  // the bound handle was used, not a new one
    EXPECT_EQ(std::count(log.Events.begin(), log.Events.end(), "SocketCreate:IPv4"), 1);
}

TEST(SocketHooks, ConnectingAConnectedSocketKeepsTheConnection) {
    ScriptedServer server, other;
    server.Accept().ExpectBytes(2).Send("ok").SleepMs(100).Start();
    TTCPClientSocket s;
    s.Connect("127.0.0.1", Port(server.Port()));
    ASSERT_EQ(s.LastError, 0);
    s.Connect("127.0.0.1", Port(other.Port()));
    EXPECT_EQ(s.LastError, 10056);
    EXPECT_EQ(s.LastErrorDesc, "Socket is already connected");
    EXPECT_TRUE(s.IsOpen());
    s.SendString("hi");
    EXPECT_EQ(s.RecvPacket(2000), "ok");
}

TEST(SocketHooks, ClosingAClosedSocketStillReportsTheClose) {
    TTCPClientSocket s;
    TStatusLog log;
    log.Attach(s);
    s.CloseSocket();
    s.CloseSocket();
    EXPECT_EQ(log.Events, (std::vector<std::string>{"SocketClose:", "SocketClose:"}));
    EXPECT_EQ(s.LastError, 0);
}

TEST(SocketHooks, ErrorReportCarriesCodeAndText) {
    TTCPClientSocket s;
    TStatusLog log;
    log.Attach(s);
    s.LastError = 10091;
    s.CheckError();
    s.LastError = 12345;
    s.CheckError();
    s.LastError = 10035;  // would-block and in-progress are not errors to report
    s.CheckError();
    s.LastError = 10036;
    s.CheckError();
    EXPECT_EQ(log.Events, (std::vector<std::string>{"Error:10091,Network subsystem is unusable",
                                                    "Error:12345,Other Winsock error (12345)"}));
    EXPECT_EQ(s.LastErrorDesc, "Operation now in progress");
}

TEST(SocketHooks, MonitorSeesEachSendWholeAndEachBlockBeforeTheLine) {
    ScriptedServer server;
    server.Accept().ExpectBytes(8).Send("line one\r\n").SleepMs(100).Start();
    TTCPClientSocket s;
    s.ConvertLineEnd = true;
    s.SendMaxChunk = 3;
    std::vector<std::string> monitored;
    TStatusLog log;
    log.Attach(s);
    std::string lineAtMonitor = "unset";
    s.OnMonitor = [&](TTCPClientSocket& sock, bool writing, const void* buf, int len) {
        monitored.push_back(std::string(writing ? "W:" : "R:") +
                            std::string(static_cast<const char*>(buf), size_t(len)));
        if (!writing) lineAtMonitor = sock.LineBuffer;
    };
    s.Connect("127.0.0.1", Port(server.Port()));
    s.SendString("abcdefgh");
    EXPECT_EQ(s.RecvString(2000), "line one");
    EXPECT_EQ(monitored, (std::vector<std::string>{"W:abcdefgh", "R:line one\r\n"}));
    EXPECT_EQ(lineAtMonitor, "");  // the block had not reached the line buffer yet
    std::vector<std::string> writes;
    for (const auto& e : log.Events)
        if (e.rfind("WriteCount:", 0) == 0) writes.push_back(e);
    EXPECT_EQ(writes, (std::vector<std::string>{"WriteCount:3", "WriteCount:3", "WriteCount:2"}));
    EXPECT_EQ(server.Request(0), "abcdefgh");
}

TEST(SocketHooks, AHookThatClosesTheSocketFailsTheNextCall) {
    ScriptedServer server;
    server.Accept().Send("partial").SleepMs(300).Start();
    TTCPClientSocket s;
    s.ConvertLineEnd = true;
    s.Connect("127.0.0.1", Port(server.Port()));
    s.OnStatus = [](TTCPClientSocket& sock, TSocketStatusReason r, const std::string&) {
        if (r == SR_ReadCount) sock.CloseSocket();
    };
    EXPECT_EQ(s.RecvString(2000), "");
    EXPECT_NE(s.LastError, 0);
    EXPECT_FALSE(s.IsOpen());
}

TEST(SocketHooks, CloseDrainsWhatThePeerStillSent) {
    ScriptedServer server;
    server.Accept().Send("leftover").SleepMs(300).Start();
    TTCPClientSocket s;
    s.Connect("127.0.0.1", Port(server.Port()));
    while (s.WaitingData() < 8) ASSERT_TRUE(s.CanRead(2000));
    TStatusLog log;
    log.Attach(s);
    s.CloseSocket();
    EXPECT_EQ(log.Events, (std::vector<std::string>{"ReadCount:8", "SocketClose:"}));
    EXPECT_EQ(s.LastError, 0);
    EXPECT_FALSE(s.IsOpen());
}
