// A large plain body bound for a file goes from the connection into the file through a kernel
// pipe: the same bytes, pieces and errors as the ordinary way, and the ordinary way takes
// over wherever the pipe cannot go on.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "http/body_pipe.h"
#include "http/http_exchange.h"
#include "http/size_limited_stream.h"
#include "http/socket_errors.h"
#include "http/socket_io.h"
#include "http/tcp_socket.h"
#include "tests/http/socket_test_util.h"
#include "tests/support/scripted_server.h"
#include "tests/support/temp_dir.h"

using namespace http;

namespace {
// What the monitor hook was shown while a body arrived: whether its blocks came with bytes,
// and the file's size before each block was stored.
struct TMonitorLog {
    int WithBytes = 0, WithoutBytes = 0;
    std::vector<int64_t> Stored;
};

void Watch(TTCPClientSocket& s, TFileStream& file, TMonitorLog& log) {
    s.OnMonitor = [&file, &log](TTCPClientSocket&, bool writing, const void* buffer, int) {
        if (writing) return;
        (buffer ? log.WithBytes : log.WithoutBytes)++;
        log.Stored.push_back(file.GetSize());
    };
}

// Sends and receives go to the real connection. Receives into a pipe: after Splices of them
// the pipe reports itself full (wsNoBufferSpace); with Splices 0 the connection cannot splice
// at all (the default answer of a raw I/O).
class TPipeScriptIO final : public TSocketRawIO {
public:
    explicit TPipeScriptIO(int Splices) : splices_(Splices) {}
    long Send(int Fd, const void* Buffer, size_t Len, int& Error) override {
        return SystemSocketIO().Send(Fd, Buffer, Len, Error);
    }
    long Recv(int Fd, void* Buffer, size_t Len, int& Error) override {
        return SystemSocketIO().Recv(Fd, Buffer, Len, Error);
    }
    long RecvToPipe(int Fd, TBodyPipe& Pipe, size_t Len, int& Error) override {
        if (splices_ == 0) return TSocketRawIO::RecvToPipe(Fd, Pipe, Len, Error);
        if (done_ == splices_) {
            Error = wsNoBufferSpace;
            return -1;
        }
        const long n = SystemSocketIO().RecvToPipe(Fd, Pipe, Len, Error);
        if (n > 0) ++done_;
        return n;
    }

private:
    int splices_;
    int done_ = 0;
};

}  // namespace

TEST(SocketBodyPipe, ALargeBodyGoesIntoTheFileWholeInWholePieces) {
    struct Case {
        const char* Name;
        size_t Size;
        int Chunk;
        size_t WithLine;  // body bytes that arrive with the size line, in the line buffer
    };
    const Case cases[] = {
        {"just over a packet", 65537, 65536, 0},
        {"6 MiB", size_t(6) << 20, 65536, 0},
        {"odd pieces, part of it with the line", (size_t(3) << 20) + 12345, 10000, 30000},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.Name);
        const std::string body = BodyPattern(c.Size);
        ScriptedServer server;
        server.Accept().Send("size\r\n" + body.substr(0, c.WithLine)).SleepMs(100).Send(body.substr(c.WithLine) + "after");
        server.SleepMs(300).Start();
        TTCPClientSocket s;
        s.SendMaxChunk = c.Chunk;
        s.Connect("127.0.0.1", Port(server.Port()));
        ASSERT_EQ(s.RecvString(2000), "size");
        TempDir dir;
        TMonitorLog log;
        {
            TFileStream file(dir.File("body"), TFileMode::CreateWrite);
            Watch(s, file, log);
            s.RecvToStream(file, 2000, int64_t(c.Size));
            EXPECT_EQ(file.GetSize(), int64_t(c.Size));
            EXPECT_EQ(file.GetPosition(), int64_t(c.Size));
        }
        s.OnMonitor = nullptr;
        EXPECT_EQ(s.LastError, 0);
        EXPECT_TRUE(dir.Read("body") == body) << "the file holds other bytes";
        EXPECT_GT(log.WithoutBytes, 0) << "the body did not go through the pipe";
        EXPECT_EQ(log.WithBytes, 0);
        for (const int64_t stored : log.Stored) EXPECT_EQ(stored % c.Chunk, 0) << "a broken piece was stored";
        // The body's end is where the pipe stopped: what follows is the next receive's.
        EXPECT_EQ(s.RecvPacket(2000), "after");
    }
}

TEST(SocketBodyPipe, TheOrdinaryWayTakesOverWhereThePipeCannotGoOn) {
    struct Case {
        const char* Name;
        int Splices;  // receives into the pipe before it is full; 0: the connection cannot splice
        bool Piped, Copied;
    };
    const Case cases[] = {
        {"a connection that cannot splice", 0, false, true},
        {"a pipe full of small pieces", 3, true, true},
    };
    const std::string body = BodyPattern((size_t(2) << 20) + 77);
    for (const Case& c : cases) {
        SCOPED_TRACE(c.Name);
        ScriptedServer server;
        server.Accept().Send("size\r\n").SleepMs(100);
        // Pieces with pauses, so the pipe takes several receives before it is called full.
        for (size_t at = 0; at < body.size(); at += 256 * 1024) server.Send(body.substr(at, 256 * 1024)).SleepMs(20);
        server.Send("after").SleepMs(300).Start();
        TTCPClientSocket s;
        s.Connect("127.0.0.1", Port(server.Port()));
        ASSERT_EQ(s.RecvString(2000), "size");
        TempDir dir;
        TMonitorLog log;
        TPipeScriptIO io(c.Splices);
        {
            TFileStream file(dir.File("body"), TFileMode::CreateWrite);
            Watch(s, file, log);
            TScopedRawIO use(io);
            s.RecvToStream(file, 2000, int64_t(body.size()));
        }
        s.OnMonitor = nullptr;
        EXPECT_EQ(s.LastError, 0);
        EXPECT_TRUE(dir.Read("body") == body) << "the file holds other bytes";
        EXPECT_EQ(log.WithoutBytes > 0, c.Piped);
        EXPECT_EQ(log.WithBytes > 0, c.Copied);
        for (const int64_t stored : log.Stored) EXPECT_EQ(stored % 65536, 0) << "a broken piece was stored";
        EXPECT_EQ(s.RecvPacket(2000), "after");
    }
}

TEST(SocketBodyPipe, ACutOrRefusedBodyKeepsWholePiecesAndTheSocketGoesOn) {
    const std::string body = BodyPattern(size_t(1) << 20);
    TempDir dir;
    TTCPClientSocket s;
    {
        SCOPED_TRACE("the peer closes part-way");
        ScriptedServer server;
        server.Accept().Send("size\r\n").SleepMs(100).Send(body.substr(0, 300000)).SleepMs(100).Close().Start();
        s.Connect("127.0.0.1", Port(server.Port()));
        ASSERT_EQ(s.RecvString(2000), "size");
        TFileStream file(dir.File("cut"), TFileMode::CreateWrite);
        s.RecvToStream(file, 2000, int64_t(body.size()));
        EXPECT_EQ(s.LastError, wsConnectionReset);
        EXPECT_EQ(file.GetSize(), 300000 / 65536 * 65536);
        EXPECT_TRUE(dir.Read("cut") == body.substr(0, size_t(file.GetSize())));
        // The broken piece is not lost: it waits where the ordinary way leaves it.
        EXPECT_EQ(s.LineBuffer, body.substr(size_t(file.GetSize()), 300000 - size_t(file.GetSize())));
        s.CloseSocket();
    }
    {
        SCOPED_TRACE("the hook closes the socket part-way");
        ScriptedServer server;
        server.Accept().Send("size\r\n").SleepMs(100);
        for (size_t at = 0; at < body.size(); at += 128 * 1024) server.Send(body.substr(at, 128 * 1024)).SleepMs(20);
        server.SleepMs(300).Start();
        s.Connect("127.0.0.1", Port(server.Port()));
        ASSERT_EQ(s.RecvString(2000), "size");
        TFileStream file(dir.File("stopped"), TFileMode::CreateWrite);
        s.OnMonitor = [&file](TTCPClientSocket& sock, bool writing, const void*, int) {
            if (!writing && file.GetSize() > 0) sock.CloseSocket();
        };
        s.RecvToStream(file, 2000, int64_t(body.size()));
        s.OnMonitor = nullptr;
        EXPECT_EQ(s.LastError, wsNotConnected);
        EXPECT_GT(file.GetSize(), 0);
        EXPECT_LT(file.GetSize(), int64_t(body.size()));
        EXPECT_TRUE(dir.Read("stopped") == body.substr(0, size_t(file.GetSize())));
    }
    {
        SCOPED_TRACE("the size rule refuses the body, then the next body comes whole");
        ScriptedServer server;
        server.Accept().Send("size\r\n").SleepMs(100).Send(body).SleepMs(100).Close();
        server.Accept().Send("size\r\n").SleepMs(100).Send(body).SleepMs(300).Start();
        s.Connect("127.0.0.1", Port(server.Port()));
        ASSERT_EQ(s.RecvString(2000), "size");
        TFileStream file(dir.File("refused"), TFileMode::CreateWrite);
        TFileSink sink(file, 0, 200000);
        EXPECT_THROW(s.RecvToStream(sink, 2000, int64_t(body.size())), EBodyTooLarge);
        EXPECT_LE(file.GetSize(), 200000);
        s.CloseSocket();
        s.Connect("127.0.0.1", Port(server.Port()));
        ASSERT_EQ(s.RecvString(2000), "size");
        TFileStream next(dir.File("next"), TFileMode::CreateWrite);
        s.RecvToStream(next, 2000, int64_t(body.size()));
        EXPECT_EQ(s.LastError, 0);
        EXPECT_TRUE(dir.Read("next") == body) << "bytes of the refused body came into the next";
    }
}
