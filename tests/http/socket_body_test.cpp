// A body of known size received into a stream: whole pieces only, a receive size that grows
// with what the connection has ready but stays bounded, and the bytes around the body kept.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>

#include "http/socket_io.h"
#include "http/tcp_socket.h"
#include "tests/http/socket_test_util.h"
#include "tests/support/scripted_server.h"

using namespace http;

namespace {
// Remembers the size of every write, so a test can see that only whole pieces arrive.
class TRecordingStream final : public TStream {
public:
    using TStream::Write;
    std::string Data;
    std::vector<size_t> Writes;
    size_t Read(void*, size_t) override { return 0; }
    size_t Write(const void* Buffer, size_t Count) override {
        Data.append(static_cast<const char*>(Buffer), Count);
        Writes.push_back(Count);
        return Count;
    }
    int64_t GetPosition() const override { return int64_t(Data.size()); }
    void SetPosition(int64_t) override {}
    int64_t GetSize() const override { return int64_t(Data.size()); }
    void SetSize(int64_t) override {}
};

// A connection that always has as much ready as is asked for: every receive fills its buffer,
// so the sizes asked for show how the receive grows. Sends go to the real connection.
class TFloodIO final : public TSocketRawIO {
public:
    explicit TFloodIO(std::string Data) : data_(std::move(Data)) {}
    std::vector<size_t> Asked;
    long Send(int Fd, const void* Buffer, size_t Len, int& Error) override {
        return SystemSocketIO().Send(Fd, Buffer, Len, Error);
    }
    long Recv(int, void* Buffer, size_t Len, int&) override {
        Asked.push_back(Len);
        const size_t n = std::min(Len, data_.size() - at_);
        std::memcpy(Buffer, data_.data() + at_, n);
        at_ += n;
        return long(n);
    }

private:
    std::string data_;
    size_t at_ = 0;
};

}  // namespace

TEST(SocketBody, ReceivesGrowWithWhatIsReadyUpToABound) {
    struct Case {
        const char* Name;
        size_t Size;
        int Chunk;
    };
    const Case cases[] = {
        {"a large body", size_t(6) << 20, 65536},
        {"a large body, odd pieces", (size_t(3) << 20) + 12345, 10000},
        {"a body below a packet", 100, 65536},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.Name);
        ScriptedServer server;
        server.Accept().SleepMs(500).Start();
        TTCPClientSocket s;
        s.SendMaxChunk = c.Chunk;
        s.Connect("127.0.0.1", Port(server.Port()));
        const std::string body = BodyPattern(c.Size);
        TFloodIO flood(body + "after");
        TRecordingStream sink;
        {
            TScopedRawIO use(flood);
            s.RecvToStream(sink, 2000, int64_t(c.Size));
        }
        EXPECT_EQ(s.LastError, 0);
        EXPECT_TRUE(sink.Data == body);
        for (size_t i = 0; i < sink.Writes.size(); ++i) {
            SCOPED_TRACE("write " + std::to_string(i));
            const bool last = i + 1 == sink.Writes.size();
            if (!last) {
                EXPECT_EQ(sink.Writes[i] % size_t(c.Chunk), 0u);
            }
        }
        ASSERT_FALSE(flood.Asked.empty());
        EXPECT_EQ(flood.Asked.front(), 65536u);
        EXPECT_LE(*std::max_element(flood.Asked.begin(), flood.Asked.end()), size_t(1) << 20);
        if (c.Size > (size_t(2) << 20)) {
            EXPECT_EQ(*std::max_element(flood.Asked.begin(), flood.Asked.end()), size_t(1) << 20);
            EXPECT_LT(flood.Asked.size(), c.Size / 65536 / 4);  // far fewer receives than packets
        } else {
            EXPECT_EQ(flood.Asked.size(), 1u);
        }
        // Whatever the last receive took beyond the body is the next receive's.
        const std::string rest = s.LineBuffer;
        EXPECT_EQ(rest, std::string("after").substr(0, rest.size()));
    }
}

TEST(SocketBody, PiecesFollowTheLineBufferAndTheLineEndCarry) {
    // The size line ends in a lone CR at the end of a packet; its LF opens the next packet and
    // is not part of the body. Part of the body came with the line and sits in the line buffer.
    ScriptedServer server;
    server.Accept().Send("7\r").SleepMs(100).Send("\nabcdefghij\r\n0\r\n").SleepMs(300).Start();
    TTCPClientSocket s;
    s.ConvertLineEnd = true;
    s.SendMaxChunk = 3;
    s.Connect("127.0.0.1", Port(server.Port()));
    ASSERT_EQ(s.RecvString(2000), "7");
    TRecordingStream sink;
    s.RecvToStream(sink, 2000, 7);
    EXPECT_EQ(s.LastError, 0);
    EXPECT_EQ(sink.Data, "abcdefg");
    EXPECT_EQ(s.RecvString(2000), "hij");
    EXPECT_EQ(s.RecvString(2000), "0");
}
