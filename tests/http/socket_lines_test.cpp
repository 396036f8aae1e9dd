// Lines, packets and exact-size receives against the scripted loopback server.
#include <gtest/gtest.h>

#include <climits>

#include "http/tcp_socket.h"
#include "tests/http/socket_test_util.h"
#include "tests/support/scripted_server.h"

using namespace http;

namespace {
// The client sends one byte between two packets, so the server cannot send the second packet
// before the client has read what the first one allows: the packet boundary is real.
struct TLineCase {
    const char* Name;
    std::string First, Second;
    size_t LinesInFirst;  // lines the first packet completes by itself
    std::vector<std::string> Lines;
};

std::vector<std::string> ReadLines(TTCPClientSocket& s, size_t firstCount, size_t total) {
    std::vector<std::string> got;
    for (size_t i = 0; i < total; ++i) {
        if (i == firstCount) s.SendString("g");
        got.push_back(s.RecvString(2000));
        if (s.LastError != 0) {
            got.push_back("error " + std::to_string(s.LastError));
            break;
        }
    }
    return got;
}
}  // namespace

TEST(SocketLines, LineEndsAcrossPacketBoundaries) {
    const TLineCase cases[] = {
        {"CR | LF", "abc\r", "\ndef\r\n", 1, {"abc", "def"}},
        {"LF | CR", "abc\n", "\rdef\n\r", 1, {"abc", "def"}},
        {"lone CR", "abc\r", "def\r", 1, {"abc", "def"}},
        {"lone LF", "abc\n", "def\n", 1, {"abc", "def"}},
        {"CR | CR LF is an empty line", "abc\r", "\r\ndef\r\n", 1, {"abc", "", "def"}},
        {"LF | LF is an empty line", "abc\n", "\ndef\n", 1, {"abc", "", "def"}},
        {"mixed in one packet", "a\r\nb\n\rc\rd\ne\r\n", "f\r\n", 5, {"a", "b", "c", "d", "e", "f"}},
        {"line split mid-text", "ab", "c\r\n", 0, {"abc"}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.Name);
        ScriptedServer server;
        server.Accept().Send(c.First).ExpectBytes(1).Send(c.Second).SleepMs(50).Close().Start();
        TTCPClientSocket s;
        s.ConvertLineEnd = true;
        s.Connect("127.0.0.1", Port(server.Port()));
        ASSERT_EQ(s.LastError, 0);
        EXPECT_EQ(ReadLines(s, c.LinesInFirst, c.Lines.size()), c.Lines);
    }
}

TEST(SocketLines, WithoutConversionOnlyCrLfEndsALine) {
    ScriptedServer server;
    server.Accept().Send("a\nb\rc\r\nd\r\n").Start();
    TTCPClientSocket s;
    s.Connect("127.0.0.1", Port(server.Port()));
    EXPECT_EQ(s.RecvString(2000), "a\nb\rc");
    EXPECT_EQ(s.RecvString(2000), "d");
}

TEST(SocketLines, PacketAfterALoneCrDropsTheLfThatCompletesIt) {
    ScriptedServer server;
    server.Accept().Send("HTTP/1.0 200 OK\r").ExpectBytes(1).Send("\nbody").Start();
    TTCPClientSocket s;
    s.ConvertLineEnd = true;
    s.Connect("127.0.0.1", Port(server.Port()));
    EXPECT_EQ(s.RecvString(2000), "HTTP/1.0 200 OK");
    s.SendString("g");
    std::string body;
    while (body.size() < 4 && s.LastError == 0) body += s.RecvPacket(2000);
    EXPECT_EQ(body, "body");
}

TEST(SocketLines, LineLengthBound) {
    struct {
        const char* Name;
        int MaxLineLength;
        size_t Length;
        int Error;
    } const cases[] = {
        {"at the set bound", 10, 10, 0},
        {"one past the set bound", 10, 11, 10055},
        {"default bound holds 64 KiB", 0, 65536, 0},
        {"default bound refuses more", 0, 65537, 10055},
        {"no line end at all", 0, 300000, 10055},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.Name);
        const bool ended = std::string(c.Name) != "no line end at all";
        ScriptedServer server;
        server.Accept().Send(std::string(c.Length, 'x') + (ended ? "\r\n" : "")).SleepMs(200).Start();
        TTCPClientSocket s;
        s.ConvertLineEnd = true;
        s.MaxLineLength = c.MaxLineLength;
        s.Connect("127.0.0.1", Port(server.Port()));
        const std::string line = s.RecvString(2000);
        EXPECT_EQ(s.LastError, c.Error);
        EXPECT_EQ(line.size(), c.Error ? 0 : c.Length);
        if (c.Error) {
            EXPECT_EQ(s.LastErrorDesc, "No Buffer space available");
            // The bound is checked as data arrives, not after an unbounded buffer filled up.
            EXPECT_LE(s.LineBuffer.size(), size_t(c.MaxLineLength > 0 ? c.MaxLineLength : 65536) + 65536);
        }
    }
}

TEST(SocketLines, RecvExactKeepsTheSurplusForTheNextReceive) {
    ScriptedServer server;
    server.Accept().Send("0123456789").SleepMs(300).Start();
    TTCPClientSocket s;
    s.Connect("127.0.0.1", Port(server.Port()));
    while (s.WaitingData() < 10) ASSERT_TRUE(s.CanRead(2000));
    EXPECT_EQ(s.RecvExact(4, 2000), "0123");
    EXPECT_EQ(s.LineBuffer, "456789");
    EXPECT_EQ(s.RecvPacket(2000), "456789");
    EXPECT_EQ(s.RecvExact(0, 2000), "");
    EXPECT_EQ(s.LastError, 0);
}

TEST(SocketLines, RecvExactAcrossPackets) {
    ScriptedServer server;
    server.Accept().Send("abc").SleepMs(50).Send("defgh").Start();
    TTCPClientSocket s;
    s.Connect("127.0.0.1", Port(server.Port()));
    EXPECT_EQ(s.RecvExact(7, 2000), "abcdefg");
    EXPECT_EQ(s.RecvPacket(2000), "h");
}

TEST(SocketLines, DeclaredSizeIsNotAllocatedUpFront) {
    // A peer that declares far more than it sends costs only what it sent.
    ScriptedServer server;
    server.Accept().Send("0123456789").SleepMs(600).Start();
    TTCPClientSocket s;
    s.Connect("127.0.0.1", Port(server.Port()));
    EXPECT_EQ(s.RecvExact(INT_MAX, 300), "");
    EXPECT_EQ(s.LastError, 10060);
    EXPECT_EQ(s.LineBuffer, "0123456789");
    EXPECT_LT(s.LineBuffer.capacity(), size_t(1) << 20);

    TMemoryStream sink;
    s.RecvToStream(sink, 200, int64_t(1) << 50);
    EXPECT_EQ(s.LastError, 10060);
    EXPECT_EQ(sink.GetSize(), 0);  // no whole piece of SendMaxChunk bytes arrived
}

TEST(SocketLines, RecvToStreamWritesWholePiecesAndStopsAtTheFirstError) {
    {
        ScriptedServer server;
        server.Accept().Send("abcdefghij").Start();
        TTCPClientSocket s;
        s.SendMaxChunk = 4;
        s.Connect("127.0.0.1", Port(server.Port()));
        TMemoryStream sink;
        s.RecvToStream(sink, 2000, 10);
        EXPECT_EQ(s.LastError, 0);
        EXPECT_EQ(sink.Bytes(), "abcdefghij");
    }
    {
        ScriptedServer server;
        server.Accept().Send("abcdef").Close().Start();
        TTCPClientSocket s;
        s.SendMaxChunk = 4;
        s.Connect("127.0.0.1", Port(server.Port()));
        TMemoryStream sink;
        s.RecvToStream(sink, 2000, 10);
        EXPECT_EQ(s.LastError, 10054);
        EXPECT_EQ(sink.Bytes(), "abcd");  // the broken second piece never reaches the stream
    }
}

// Each packet comes well within the time-out, the line as a whole takes longer: the same wait
// bounds each packet with InterPacketTimeout, the whole line without it. The low-speed rule is
// off, as a line this slow would fail it either way.
TEST(SocketLines, InterPacketTimeoutBoundsEachPacketOrTheWholeLine) {
    const struct {
        bool perPacket;
        const char* line;
        int error;
    } cases[] = {{true, "abcd", 0}, {false, "", 10060}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.perPacket ? "InterPacketTimeout on" : "InterPacketTimeout off");
        ScriptedServer server;
        server.Accept().Send("a").SleepMs(150).Send("b").SleepMs(150).Send("c").SleepMs(150).Send("d\r\n").Start();
        TTCPClientSocket s;
        s.ConvertLineEnd = true;
        s.InterPacketTimeout = c.perPacket;
        s.LowSpeedLimit = 0;
        s.Connect("127.0.0.1", Port(server.Port()));
        EXPECT_EQ(s.RecvString(400), c.line);
        EXPECT_EQ(s.LastError, c.error);
    }
}

TEST(SocketLines, BufferedBytesCountAsReadable) {
    ScriptedServer server;
    server.Accept().Send("one\r\ntwo\r\n").SleepMs(300).Start();
    TTCPClientSocket s;
    s.ConvertLineEnd = true;
    s.Connect("127.0.0.1", Port(server.Port()));
    ASSERT_TRUE(s.CanRead(2000));
    // Wait for the whole packet, then read the first line: the second one sits in LineBuffer.
    while (s.WaitingData() < 10) ASSERT_TRUE(s.CanRead(2000));
    EXPECT_EQ(s.WaitingData(), 10);
    EXPECT_EQ(s.RecvString(2000), "one");
    EXPECT_EQ(s.WaitingData(), 0);
    EXPECT_TRUE(s.CanRead(0));
    EXPECT_EQ(s.RecvString(2000), "two");
    EXPECT_FALSE(s.CanRead(0));
}
