// How exchanges fail: socket errors with and without exceptions, the stop flag, the bounds
// on what a peer can make the client hold, and a fault at every read and write.
#include <gtest/gtest.h>

#include <chrono>
#include <memory>
#include <thread>

#include "http/http_transport.h"
#include "tests/http/transport_helpers.h"
#include "tests/support/socket_faults.h"

using namespace http;

namespace {
struct ErrorCase {
    const char* name;
    // Scripts the server (when one is wanted) and returns the URL to fetch.
    std::function<std::string(ScriptedServer&)> script;
    int timeout;
    int code;
    const char* text;
    std::function<void(THTTPTransport&)> setup = nullptr;
};

// The server reads the request, sends Reply (nothing when empty), stalls StallMs and closes.
std::function<std::string(ScriptedServer&)> RepliesThenCloses(std::string Reply, int StallMs = 0) {
    return [Reply, StallMs](ScriptedServer& s) {
        s.Accept().ExpectRequest();
        if (!Reply.empty()) s.Send(Reply);
        if (StallMs > 0) s.SleepMs(StallMs);
        s.Close().Start();
        return s.Url("/");
    };
}

const std::vector<ErrorCase>& ErrorCases() {
    static const std::vector<ErrorCase> cases = {
        {"peer accepts and closes", RepliesThenCloses(""), 5000, 10054, "Connection reset by peer"},
        {"peer closes inside the header", RepliesThenCloses("HTTP/1.0 200 OK\r\nX-Half: "), 5000, 10054,
         "Connection reset by peer"},
        {"peer closes inside a declared body", RepliesThenCloses("HTTP/1.0 200 OK\r\nContent-Length: 10\r\n\r\nabc"),
         5000, 10054, "Connection reset by peer"},
        {"peer closes inside a chunk",
         RepliesThenCloses("HTTP/1.0 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n5\r\nab"), 5000, 10054,
         "Connection reset by peer"},
        {"no reply within the time-out", RepliesThenCloses("", 800), 200, 10060, "Connection timed out"},
        {"body stalls past the time-out", RepliesThenCloses("HTTP/1.0 200 OK\r\n\r\nsome", 800), 200, 10060,
         "Connection timed out"},
        {"refused port", [](ScriptedServer&) { return "http://127.0.0.1:" + std::to_string(FreeLoopbackPort()) + "/"; },
         5000, 10061, "Connection refused"},
        {"name that does not resolve",
         [](ScriptedServer&) { return std::string("http://") + std::string(64, 'n') + ".invalid/"; }, 5000, 11001,
         "Host not found"},
        {"local interface not on this machine",
         [](ScriptedServer&) { return "http://127.0.0.1:" + std::to_string(FreeLoopbackPort()) + "/"; }, 5000, 10049,
         "Can't assign requested address", [](THTTPTransport& t) { t.IPInterface = "192.0.2.1"; }},
    };
    return cases;
}

TEST(TransportErrors, FalseWithoutExceptions) {
    for (const ErrorCase& c : ErrorCases()) {
        SCOPED_TRACE(c.name);
        ScriptedServer srv;
        const std::string url = c.script(srv);
        THTTPTransport t;
        t.Timeout = c.timeout;
        if (c.setup) c.setup(t);
        EXPECT_FALSE(t.HTTPMethod("GET", url));
        EXPECT_EQ(t.Sock->LastError, c.code);
        EXPECT_EQ(t.Sock->LastErrorDesc, c.text);
        EXPECT_TRUE(t.AliveHost.empty());
        EXPECT_TRUE(t.AlivePort.empty());
    }
}

TEST(TransportErrors, RaisedWithExceptions) {
    for (const ErrorCase& c : ErrorCases()) {
        SCOPED_TRACE(c.name);
        ScriptedServer srv;
        const std::string url = c.script(srv);
        THTTPTransport t;
        t.Timeout = c.timeout;
        if (c.setup) c.setup(t);
        t.Sock->RaiseExcept = true;
        try {
            t.HTTPMethod("GET", url);
            ADD_FAILURE() << "no exception";
        } catch (const ESocketError& e) {
            EXPECT_EQ(e.ErrorCode, c.code);
            EXPECT_EQ(e.ErrorMessage, c.text);
            EXPECT_EQ(std::string(e.what()), "TCP/IP Socket error " + std::to_string(c.code) + ": " + c.text);
        }
    }
}

// A body without framing ends when the server closes: success without exceptions, the
// closing error with them, the body received so far kept either way.
TEST(TransportErrors, ReplyEndedByClose) {
    for (const bool raise : {false, true}) {
        SCOPED_TRACE(raise ? "RaiseExcept on" : "RaiseExcept off");
        ScriptedServer srv;
        srv.Accept().ExpectRequest().Send("HTTP/1.0 200 OK\r\n\r\nall of it").Close().Start();
        THTTPTransport t;
        t.Timeout = 5000;
        t.Sock->RaiseExcept = raise;
        if (raise) {
            try {
                t.HTTPMethod("GET", srv.Url("/"));
                ADD_FAILURE() << "no exception";
            } catch (const ESocketError& e) {
                EXPECT_EQ(std::string(e.what()), "TCP/IP Socket error 10054: Connection reset by peer");
            }
        } else {
            EXPECT_TRUE(t.HTTPMethod("GET", srv.Url("/")));
            EXPECT_EQ(t.Sock->LastError, 0);
        }
        EXPECT_EQ(BodyOf(t), "all of it");
    }
}

// Abort sets the stop flag: the next send or receive fails with 10053.
TEST(TransportErrors, AbortStopsTheExchange) {
    const struct {
        const char* name;
        bool onConnect;  // abort when connected (the send fails), else once the request is out
    } cases[] = {{"before the send", true}, {"while the reply is awaited", false}};
    for (const auto& c : cases)
        for (const bool raise : {false, true}) {
            SCOPED_TRACE(std::string(c.name) + (raise ? ", RaiseExcept on" : ", RaiseExcept off"));
            ScriptedServer srv;
            srv.Accept().Custom(ServeLeniently({Reply("HTTP/1.0 200 OK\r\n", "late")})).Close().Start();
            THTTPTransport t;
            t.Timeout = 5000;
            t.Sock->RaiseExcept = raise;
            t.Sock->OnStatus = [&](TTCPClientSocket&, TSocketStatusReason r, const std::string&) {
                if (c.onConnect && r == SR_Connect) t.Abort();
            };
            t.Sock->OnMonitor = [&](TTCPClientSocket&, bool writing, const void*, int) {
                if (!c.onConnect && writing) t.Abort();
            };
            int code = 0;
            try {
                EXPECT_FALSE(t.HTTPMethod("GET", srv.Url("/")));
                code = t.Sock->LastError;
                EXPECT_FALSE(raise) << "no exception";
            } catch (const ESocketError& e) {
                EXPECT_TRUE(raise);
                code = e.ErrorCode;
                EXPECT_EQ(e.ErrorMessage, "Software caused connection abort");
            }
            EXPECT_EQ(code, 10053);
            EXPECT_FALSE(t.Sock->StopFlag) << "the flag fires once";
        }
}

TEST(TransportErrors, AbortFromAnotherThreadEndsTheWait) {
    ScriptedServer srv;
    srv.Accept().ExpectRequest().SleepMs(1000).Close().Start();
    THTTPTransport t;
    t.Timeout = 60000;
    std::thread stopper([&] {
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
        t.Abort();
    });
    EXPECT_FALSE(t.HTTPMethod("GET", srv.Url("/")));
    stopper.join();
    EXPECT_EQ(t.Sock->LastError, 10053);
}

// What a peer declares is never what the client allocates: a huge length or chunk with a
// few bytes behind it costs those bytes, and the exchange ends when the peer closes.
TEST(TransportErrors, DeclaredSizesAreNotTrusted) {
    const struct {
        const char* name;
        std::string reply;
    } cases[] = {
        {"length", "HTTP/1.0 200 OK\r\nContent-Length: 1000000000000000\r\n\r\n0123456789"},
        {"chunk", "HTTP/1.0 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n7fffffffffffffff\r\n0123456789"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        ScriptedServer srv;
        srv.Accept().ExpectRequest().Send(c.reply).Close().Start();
        THTTPTransport t;
        t.Timeout = 60000;
        const auto start = std::chrono::steady_clock::now();
        EXPECT_FALSE(t.HTTPMethod("GET", srv.Url("/")));
        // Ends on the peer's close, not at the minute-long receive time-out.
        EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(30));
        EXPECT_EQ(t.Sock->LastError, 10054);
        EXPECT_LE(t.Document.GetSize(), 10);
        EXPECT_EQ(t.DownloadSize, c.name == std::string("length") ? 1000000000000000 : INT64_MAX);
    }
}

// A header line above 64 KiB, or a head above 1 MiB, fails with 10055 instead of growing.
TEST(TransportErrors, OversizedHeadsFail) {
    std::string manyLines = "HTTP/1.0 200 OK\r\n";
    while (manyLines.size() < 1100 * 1024) manyLines += "X-Filler: " + std::string(60000, 'f') + "\r\n";
    const struct {
        const char* name;
        std::string reply;
    } cases[] = {
        {"a 2 MiB header line", "HTTP/1.0 200 OK\r\nX-Big: " + std::string(2 << 20, 'a') + "\r\n\r\n"},
        {"a 2 MiB status line", "HTTP/1.0 200 " + std::string(2 << 20, 'a') + "\r\n\r\n"},
        {"a 2 MiB line without a status line", std::string(2 << 20, 'a') + "\r\n"},
        {"a head of many lines", manyLines + "\r\n"},
        {"a 2 MiB chunk-size line",
         "HTTP/1.0 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n" + std::string(2 << 20, '0') + "1\r\n"},
    };
    for (const auto& c : cases)
        for (const bool raise : {false, true}) {
            SCOPED_TRACE(std::string(c.name) + (raise ? ", RaiseExcept on" : ", RaiseExcept off"));
            ScriptedServer srv;
            srv.Accept().ExpectRequest().Send(c.reply).Close().Start();
            THTTPTransport t;
            t.Timeout = 5000;
            t.Sock->RaiseExcept = raise;
            int code = 0;
            try {
                EXPECT_FALSE(t.HTTPMethod("GET", srv.Url("/")));
                code = t.Sock->LastError;
                EXPECT_EQ(t.Sock->LastErrorDesc, "No Buffer space available");
            } catch (const ESocketError& e) {
                EXPECT_TRUE(raise);
                code = e.ErrorCode;
            }
            EXPECT_EQ(code, 10055);
            EXPECT_LE(t.Document.GetSize(), 64 * 1024 + 2);
        }
}

// One exchange: a POST and a chunked reply served in several blocks.
struct SweepRun {
    bool ok = false;
    bool raised = false;
    int code = 0;
    std::string body;
};

SweepRun RunExchange(bool raise) {
    ScriptedServer srv;
    srv.Accept()
        .Custom(
            ServeLeniently({"HTTP/1.1 100 Continue\r\n\r\n", "HTTP/1.1 200 OK\r\nSet-Cookie: s=1\r\n",
                            "Transfer-Encoding: chunked\r\n\r\n", "4;x=y\r\nabcd\r\n", "3\r\nefg\r\n", "0\r\n\r\n"}))
        .Close()
        .Start();
    THTTPTransport t;
    t.Timeout = 3000;
    t.Sock->RaiseExcept = raise;
    t.Sock->SendMaxChunk = 1000;  // the body leaves in several pieces
    t.Document.Write(std::string(2500, 'p'));
    SweepRun run;
    try {
        run.ok = t.HTTPMethod("POST", srv.Url("/sweep"));
        run.code = t.Sock->LastError;
    } catch (const ESocketError& e) {
        run.raised = true;
        run.code = e.ErrorCode;
    }
    run.body = BodyOf(t);
    return run;
}

TEST(TransportErrors, FaultAtEveryReadAndWrite) {
    ClearSocketFault();
    const SweepRun clean = RunExchange(false);
    const int reads = SocketReadCount(), writes = SocketWriteCount();
    ASSERT_TRUE(clean.ok);
    ASSERT_EQ(clean.body, "abcdefg");
    ASSERT_GE(reads, 4);
    ASSERT_EQ(writes, 3);
    constexpr int kFault = 10050;  // not 10054, which ends an unframed body successfully
    for (const bool raise : {false, true})
        for (int dir = 0; dir < 2; ++dir)
            for (int n = 1; n <= (dir == 0 ? reads : writes); ++n) {
                SCOPED_TRACE(std::string(dir == 0 ? "read " : "write ") + std::to_string(n) +
                             (raise ? ", RaiseExcept on" : ", RaiseExcept off"));
                // Blocks may merge on a busy machine, leaving fewer reads than the clean run
                // had; such a run is repeated until the fault lands.
                SweepRun run;
                bool fired = false;
                for (int attempt = 0; attempt < 5 && !fired; ++attempt) {
                    SetSocketFault(dir == 0 ? n : -1, dir == 1 ? n : -1, kFault);
                    run = RunExchange(raise);
                    fired = (dir == 0 ? SocketReadCount() : SocketWriteCount()) >= n;
                }
                ASSERT_TRUE(fired);
                EXPECT_FALSE(run.ok);
                EXPECT_EQ(run.raised, raise);
                EXPECT_EQ(run.code, kFault);
            }
    ClearSocketFault();
}
}  // namespace
