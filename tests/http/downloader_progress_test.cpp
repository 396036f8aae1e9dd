// Downloads that succeed, their progress events, and a stop from inside the progress handler.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <thread>
#include <utility>

#include "http/zel_http_file_downloader.h"
#include "platform/errors.h"
#include "tests/http/sender_fixtures.h"
#include "tests/support/scripted_server.h"
#include "tests/support/temp_dir.h"

using namespace http;

namespace {

using Progress = std::vector<std::pair<int32_t, int32_t>>;

std::string Pattern(size_t n, unsigned seed = 7) {
    std::string s(n, '\0');
    for (size_t i = 0; i < n; ++i) s[i] = char((i * 131 + seed * 17 + (i >> 9)) & 0xFF);
    return s;
}

std::string Hex(size_t n) {
    char buf[32];
    std::snprintf(buf, sizeof buf, "%zx", n);
    return buf;
}

// What arrives together is stored without a further receive, and so without an event. The
// server therefore sends the next part only once the client has reported a given progress:
// the handler opens a gate that a server step waits at.
class DownloaderProgress : public ::testing::Test {
protected:
    FakeProxyServices os;
    ScopedOSServices use{os};
    TempDir dir;
    TzelHTTPFileDownloader dl;
    Progress events;
    std::atomic<int> gate{0};  // the number of awaited events seen so far

    // Records every event; Awaited are the events that open the gate, in order.
    void Record(Progress Awaited = {}) {
        dl.OnDownloadProgress = [this, Awaited](TzelHTTPFileDownloader& s, int32_t total, int32_t sent) {
            EXPECT_EQ(&s, &dl);
            events.emplace_back(total, sent);
            const int g = gate.load();
            if (size_t(g) < Awaited.size() && Awaited[size_t(g)] == std::make_pair(total, sent)) gate = g + 1;
        };
    }
    // A server step: waits (at most 5 s) until the gate has opened N times.
    std::function<void(int)> WaitForGate(int N) {
        return [this, N](int) {
            const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(5);
            while (gate.load() < N && std::chrono::steady_clock::now() < until)
                std::this_thread::sleep_for(std::chrono::milliseconds(1));
        };
    }
};

TEST_F(DownloaderProgress, DeclaredLengthBodyReportsStoredBytesInStepsOfThePieceSize) {
    const std::string body = Pattern(100000);
    ScriptedServer server;
    server.Accept()
        .ExpectRequest()
        .Send("HTTP/1.1 200 OK\r\nContent-Length: 100000\r\nConnection: close\r\n\r\n" + body.substr(0, 70000))
        .Custom(WaitForGate(1))
        .Send(body.substr(70000))
        .Close()
        .Start();
    Record({{100000, 0}});
    ASSERT_TRUE(dl.DownloadFile(server.Url("/setup.exe"), dir.File("setup.exe"), nullptr));
    EXPECT_EQ(dir.Read("setup.exe"), body);
    ASSERT_FALSE(events.empty());
    EXPECT_EQ(events.front(), std::make_pair(100000, 0));
    EXPECT_EQ(events.back(), std::make_pair(100000, 65536));
    for (size_t i = 0; i < events.size(); ++i) {
        SCOPED_TRACE("event " + std::to_string(i));
        EXPECT_EQ(events[i].first, 100000);
        EXPECT_TRUE(events[i].second == 0 || events[i].second == 65536) << events[i].second;
        if (i > 0) {
            EXPECT_GE(events[i].second, events[i - 1].second);
        }
    }
    EXPECT_FALSE(dl.Sock->IsOpen());
}

TEST_F(DownloaderProgress, ChunkedBodyReportsTheChunkBeingRead) {
    const std::string a = Pattern(70000, 1), b = Pattern(30000, 2);
    ScriptedServer server;
    server.Accept()
        .ExpectRequest()
        .Send("HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n" + Hex(a.size()) + "\r\n" + a + "\r\n")
        .Custom(WaitForGate(1))
        .Send(Hex(b.size()) + ";ext=1\r\n")
        .Custom(WaitForGate(2))
        .Send(b + "\r\n0\r\n\r\n")
        .Close()
        .Start();
    Record({{70000, 0}, {70000, 70000}});
    ASSERT_TRUE(dl.DownloadFile(server.Url("/c"), dir.File("c.bin"), nullptr));
    EXPECT_EQ(dir.Read("c.bin"), a + b);
    // While the second size line arrives the first chunk is still the one declared.
    const Progress expected = {{70000, 70000}, {30000, 70000}};
    ASSERT_GE(events.size(), 2u);
    EXPECT_EQ(Progress(events.end() - 2, events.end()), expected);
    for (const auto& [total, sent] : events) {
        SCOPED_TRACE(std::to_string(total) + "/" + std::to_string(sent));
        if (total == 70000) {
            EXPECT_TRUE(sent == 0 || sent == 65536 || sent == 70000);
        } else {
            EXPECT_EQ(total, 30000);
            EXPECT_EQ(sent, 70000);  // stored so far counts the whole file, not the chunk
        }
    }
}

TEST_F(DownloaderProgress, NoEventsWithoutADeclaredLength) {
    ScriptedServer server;
    server.Accept().ExpectRequest().Send("HTTP/1.0 200 OK\r\nContent-Length: 0\r\n\r\n").Close().Start();
    Record();
    ASSERT_TRUE(dl.DownloadFile(server.Url("/empty"), dir.File("empty"), nullptr));
    EXPECT_TRUE(dir.Exists("empty"));
    EXPECT_EQ(dir.Read("empty"), "");
    EXPECT_TRUE(events.empty());
}

TEST_F(DownloaderProgress, ReplacesAnOlderFileAndServesDownloadsInTurn) {
    const std::string first = Pattern(5000, 3), second = "short";
    ScriptedServer server;
    server.Accept().ExpectRequest().Send("HTTP/1.1 200 OK\r\nContent-Length: 5000\r\n\r\n" + first);
    server.Accept().ExpectRequest().Send(Reply200(second)).Close();
    server.Start();
    dir.Write("f", std::string(9000, 'z'));
    // HTTP/1.1 without "close" would keep the connection; the downloader drops it anyway.
    dl.Protocol = "1.1";
    ASSERT_TRUE(dl.DownloadFile(server.Url("/1"), dir.File("f"), nullptr));
    EXPECT_EQ(dir.Read("f"), first);
    EXPECT_FALSE(dl.Sock->IsOpen());
    ASSERT_TRUE(dl.DownloadFile(server.Url("/2"), dir.File("f"), nullptr));
    EXPECT_EQ(dir.Read("f"), second);
}

// What the engine does on Stop: set CancelDownload and close the socket from inside the
// handler. The download must end with an exception and leave no file.
TEST_F(DownloaderProgress, StopFromInsideTheHandler) {
    for (const int stopAt : {1, 3}) {
        SCOPED_TRACE("stop at event " + std::to_string(stopAt));
        const std::string body = Pattern(1000000);
        ScriptedServer server;
        server.Accept()
            .ExpectRequest()
            .Send("HTTP/1.1 200 OK\r\nContent-Length: 1000000\r\n\r\n" + body)
            .Close()
            .Start();
        TzelHTTPFileDownloader d;
        int calls = 0, afterStop = 0;
        d.OnDownloadProgress = [&](TzelHTTPFileDownloader& s, int32_t, int32_t) {
            if (s.CancelDownload) {
                ++afterStop;
                return;
            }
            if (++calls == stopAt) {
                s.CancelDownload = true;
                s.Sock->CloseSocket();
            }
        };
        try {
            d.DownloadFile(server.Url("/big"), dir.File("big"), nullptr);
            FAIL() << "no exception";
        } catch (const ESocketError& e) {
            EXPECT_NE(e.ErrorCode, 0);
        }
        EXPECT_EQ(calls, stopAt);
        EXPECT_EQ(afterStop, 0);
        EXPECT_FALSE(dir.Exists("big"));
        EXPECT_FALSE(d.Sock->IsOpen());
    }
}

}  // namespace
