// The drain before a close: a reply read to its declared end, with nothing after it, closes
// at once; one of undeclared or unread length, or with bytes still pending, is waited for and
// drained as before. The purge's pause is counted through the sockets' raw I/O.
#include <gtest/gtest.h>

#include <functional>

#include "http/socket_io.h"
#include "http/stream.h"
#include "http/tcp_socket.h"
#include "tests/http/socket_test_util.h"
#include "tests/support/real_peers.h"
#include "tests/support/scripted_server.h"
#include "tests/support/temp_dir.h"

using namespace http;

namespace {
// The system's I/O, with the purge's pauses and the bytes received counted.
class TCountingIO final : public TSocketRawIO {
public:
    int Pauses = 0;
    long Received = 0;
    long Send(int Fd, const void* Buffer, size_t Len, int& Error) override {
        return SystemSocketIO().Send(Fd, Buffer, Len, Error);
    }
    long Recv(int Fd, void* Buffer, size_t Len, int& Error) override {
        const long n = SystemSocketIO().Recv(Fd, Buffer, Len, Error);
        if (n > 0) Received += n;
        return n;
    }
    void Pause(int Ms) override {
        ++Pauses;
        SystemSocketIO().Pause(Ms);
    }
};

}  // namespace

TEST(SocketClose, TheDrainWaitsOnlyWhereBytesMayStillCome) {
    const std::string head = "HTTP/1.0 200 OK\r\nContent-Length: 10\r\n\r\n";
    struct Case {
        const char* name;
        std::string reply;                           // sent after the request; the server then stays quiet
        std::function<void(TTCPClientSocket&)> read;  // what the client reads of it
        int pauses;
        long drained;  // bytes the close takes off the connection (what the line buffer held is not counted)
    };
    const Case cases[] = {
        {"the body read to its declared end", head + "0123456789",
         [](TTCPClientSocket& s) { EXPECT_EQ(s.RecvExact(10, 5000), "0123456789"); }, 0, 0},
        {"the body streamed to its declared end", head + "0123456789",
         [](TTCPClientSocket& s) {
             TMemoryStream sink;
             s.RecvToStream(sink, 5000, 10);
             EXPECT_EQ(sink.Bytes(), "0123456789");
         },
         0, 0},
        {"bytes after the declared end", head + "0123456789extra",
         [](TTCPClientSocket& s) { EXPECT_EQ(s.RecvExact(10, 5000), "0123456789"); }, 1, 0},
        {"a body read only in part", head + "0123456789",
         [](TTCPClientSocket& s) { EXPECT_EQ(s.RecvExact(4, 5000), "0123"); }, 1, 0},
        {"a reply of undeclared length", "HTTP/1.0 200 OK\r\n\r\nno length here",
         [](TTCPClientSocket& s) { EXPECT_EQ(s.RecvPacket(5000), "no length here"); }, 1, 0},
        {"a reply not read at all", head + "0123456789", [](TTCPClientSocket&) {}, 1, long(head.size()) + 10},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ScriptedServer server;
        server.Accept().ExpectRequest().Send(c.reply).SleepMs(300).Close().Start();
        TCountingIO io;
        TScopedRawIO use(io);
        TTCPClientSocket s;
        s.ConvertLineEnd = true;
        s.Connect("127.0.0.1", Port(server.Port()));
        s.SendString("GET / HTTP/1.0\r\n\r\n");
        // The head, line by line, as the transport reads it.
        if (c.drained == 0)
            while (!s.RecvString(5000).empty()) {
            }
        c.read(s);
        ASSERT_EQ(s.LastError, 0) << s.LastErrorDesc;
        // All of the reply is here before the close: what it drains is pending, not on its way.
        for (int i = 0; i < 500 && s.WaitingData() < int(c.reply.size()) - int(io.Received); ++i) SleepMs(10);
        const long before = io.Received;
        s.CloseSocket();
        EXPECT_EQ(io.Pauses, c.pauses);
        EXPECT_EQ(io.Received - before, c.drained);
    }
}

// Over TLS what follows a reply of declared length is the server's close_notify: no reason to
// wait either. A body read only in part still is.
TEST(SocketClose, TlsRecordsAfterTheDeclaredEndAreNoReasonToWait) {
    TempDir root;
    root.Write("hello.txt", "hello over TLS\n");
    NginxServer nginx(root.Path(), true);
    ASSERT_TRUE(nginx.Started()) << nginx.Error();
    for (const size_t read : {size_t(15), size_t(5)}) {
        SCOPED_TRACE(read == 15 ? "read to its end" : "read in part");
        TCountingIO io;
        TScopedRawIO use(io);
        TTCPClientSocket s;
        s.ConvertLineEnd = true;
        s.Connect("127.0.0.1", Port(nginx.HttpsPort()));
        ASSERT_TRUE(s.StartTLS()) << s.LastErrorDesc;
        s.SendString("GET /hello.txt HTTP/1.0\r\n\r\n");
        while (!s.RecvString(5000).empty()) {
        }
        EXPECT_EQ(s.RecvExact(int(read), 5000), std::string("hello over TLS\n").substr(0, read));
        ASSERT_EQ(s.LastError, 0) << s.LastErrorDesc;
        // The server's close_notify has arrived (or, read in part, the rest of the body).
        for (int i = 0; i < 500 && s.LineBuffer.empty() && s.WaitingData() == 0; ++i) SleepMs(10);
        ASSERT_TRUE(!s.LineBuffer.empty() || s.WaitingData() > 0);
        s.CloseSocket();
        EXPECT_EQ(io.Pauses, read == 15 ? 0 : 1);
    }
}
