// Replies as the transport reads them: status, headers, the three framings, cookies and
// connection reuse, against canned bytes from the scripted server.
#include <gtest/gtest.h>

#include <thread>

#include "http/http_transport.h"
#include "tests/http/transport_helpers.h"

using namespace http;

namespace {
struct ReplyCase {
    const char* name;
    std::string method;
    std::string reply;  // sent whole, then the server closes
    int code;
    std::string reason;
    std::string body;
    std::vector<std::string> headers = {};  // empty: not checked
    TTransferEncoding encoding = TE_UNKNOWN;
    std::string mime = "text/html";
};

const std::vector<ReplyCase>& Cases() {
    static const std::vector<ReplyCase> cases = {
        {"reason phrase",
         "GET",
         "HTTP/1.0 404 Not Found\r\nContent-Length: 4\r\n\r\ngone",
         404,
         "Not Found",
         "gone",
         {"HTTP/1.0 404 Not Found", "Content-Length: 4", ""},
         TE_IDENTITY},
        {"no reason phrase", "GET", "HTTP/1.1 200\r\nContent-Length: 2\r\n\r\nok", 200, "", "ok", {}, TE_IDENTITY},
        {"length and type",
         "GET",
         "HTTP/1.0 200 OK\r\nContent-Type:  text/plain \r\nContent-Length: 3\r\n\r\nabcEXTRA",
         200,
         "OK",
         "abc",
         {},
         TE_IDENTITY,
         "text/plain"},
        {"length 0", "GET", "HTTP/1.0 200 OK\r\nContent-Length: 0\r\n\r\nnot body", 200, "OK", "", {}, TE_IDENTITY},
        {"204 reads no body",
         "GET",
         "HTTP/1.0 204 No Content\r\nContent-Length: 5\r\n\r\nhello",
         204,
         "No Content",
         "",
         {},
         TE_IDENTITY},
        {"304 reads no body", "GET", "HTTP/1.0 304 Not Modified\r\n\r\nhello", 304, "Not Modified", ""},
        {"HEAD reads no body",
         "HEAD",
         "HTTP/1.0 200 OK\r\nContent-Length: 5\r\n\r\nhello",
         200,
         "OK",
         "",
         {},
         TE_IDENTITY},
        {"head in any case reads no body",
         "head",
         "HTTP/1.0 200 OK\r\nContent-Length: 5\r\n\r\nhello",
         200,
         "OK",
         "",
         {},
         TE_IDENTITY},
        {"until the server closes",
         "GET",
         "HTTP/1.0 200 OK\r\nX: y\r\n\r\nline 1\r\nline 2",
         200,
         "OK",
         "line 1\r\nline 2",
         {"HTTP/1.0 200 OK", "X: y", ""}},
        {"chunked with extensions",
         "GET",
         "HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n5\r\nhello\r\n1a;ext=1\r\nabcdefghijklmnopqrstuvwxyz\r\n"
         "0\r\nTrailer: not read\r\n\r\n",
         200,
         "OK",
         "helloabcdefghijklmnopqrstuvwxyz",
         {},
         TE_CHUNKED},
        {"chunked beats a length",
         "GET",
         "HTTP/1.1 200 OK\r\nContent-Length: 99\r\nTransfer-Encoding: chunked\r\n\r\n3\r\nabc\r\n0\r\n\r\n",
         200,
         "OK",
         "abc",
         {},
         TE_CHUNKED},
        {"LF line ends",
         "GET",
         "HTTP/1.0 200 OK\nTransfer-Encoding: chunked\n\n2\nab\n0\n\n",
         200,
         "OK",
         "ab",
         {},
         TE_CHUNKED},
        {"CR line ends", "GET", "HTTP/1.0 200 OK\rContent-Length: 2\r\rab", 200, "OK", "ab", {}, TE_IDENTITY},
        {"interim 100 replies are skipped",
         "POST",
         "HTTP/1.1 100 Continue\r\n\r\nHTTP/1.1 100 Continue\r\n\r\nHTTP/1.1 201 Created\r\nContent-Length: 1\r\n\r\n!",
         201,
         "Created",
         "!",
         {"HTTP/1.1 100 Continue", "HTTP/1.1 100 Continue", "HTTP/1.1 201 Created", "Content-Length: 1", ""},
         TE_IDENTITY},
        {"blank lines before the status line", "GET", "\r\n\r\nHTTP/1.0 200 OK\r\n\r\nx", 200, "OK", "x"},
        {"folded header lines",
         "GET",
         "HTTP/1.0 200 OK\r\nX-Folded: a\r\n  b\r\n\tc\r\nContent-Type: text/plain;\r\n charset=utf-8\r\n\r\nbody",
         200,
         "OK",
         "body",
         {"HTTP/1.0 200 OK", "X-Folded: a b c", "Content-Type: text/plain; charset=utf-8", ""},
         TE_UNKNOWN,
         "text/plain; charset=utf-8"},
        {"reply without a status line",
         "GET",
         "<html>old</html>\r\nsecond line",
         0,
         "",
         "<html>old</html>\r\nsecond line",
         {}},
        {"Windows-1252 header text, body bytes untouched",
         "GET",
         "HTTP/1.0 200 Gr\xfc\xdf"
         "e\r\nX-Euro: \x80\r\n\r\n\xfc\x80",
         200,
         "Gr\u00fc\u00dfe",
         "\xfc\x80",
         {"HTTP/1.0 200 Gr\u00fc\u00dfe", "X-Euro: \u20ac", ""}},
    };
    return cases;
}

TEST(TransportReply, StatusHeadersAndBody) {
    for (const ReplyCase& c : Cases()) {
        SCOPED_TRACE(c.name);
        ScriptedServer srv;
        srv.Accept().ExpectRequest().Send(c.reply).Close().Start();
        THTTPTransport t;
        t.Timeout = 5000;
        if (c.method == "POST") t.Document.Write("data");
        EXPECT_TRUE(t.HTTPMethod(c.method, srv.Url("/"))) << t.Sock->LastErrorDesc;
        EXPECT_EQ(t.Sock->LastError, 0);
        EXPECT_EQ(t.ResultCode, c.code);
        EXPECT_EQ(t.ResultString, c.reason);
        EXPECT_EQ(BodyOf(t), c.body);
        EXPECT_EQ(t.Document.GetPosition(), 0);
        EXPECT_EQ(t.TransferEncoding, c.encoding);
        EXPECT_EQ(t.MimeType, c.mime);
        if (!c.headers.empty()) {
            EXPECT_EQ(t.Headers.Lines(), c.headers);
        }
        EXPECT_FALSE(t.Sock->IsOpen()) << "HTTP/1.0 closes after every reply";
        EXPECT_TRUE(t.AliveHost.empty());
    }
}

// The declared length of the part being read is visible while its blocks arrive.
TEST(TransportReply, DownloadSizeWhileReading) {
    const struct {
        const char* name;
        std::vector<std::string> pieces;
        std::vector<int64_t> sizes;  // DownloadSize at each received block of the body
    } cases[] = {
        {"declared length", {"HTTP/1.0 200 OK\r\nContent-Length: 6\r\n\r\n", "abc", "def"}, {6, 6}},
        {"chunks",
         {"HTTP/1.0 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n", "3\r\n", "abc\r\n", "5\r\n", "defgh\r\n",
          "0\r\n\r\n"},
         // a size line arrives while the previous chunk's size still stands
         {0, 3, 3, 5, 5}},
        {"undeclared", {"HTTP/1.0 200 OK\r\n\r\n", "abc", "def"}, {0, 0}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        ScriptedServer srv;
        // Pauses long enough that each piece arrives as a block of its own.
        srv.Accept().Custom(ServeLeniently(c.pieces, nullptr, 80)).Close().Start();
        THTTPTransport t;
        t.Timeout = 5000;
        std::vector<int64_t> seen;
        int block = 0;
        t.Sock->OnMonitor = [&](TTCPClientSocket&, bool writing, const void*, int) {
            if (!writing && block++ > 0) seen.push_back(t.DownloadSize);  // block 0 is the head
        };
        EXPECT_TRUE(t.HTTPMethod("GET", srv.Url("/")));
        EXPECT_EQ(seen, c.sizes);
    }
}

TEST(TransportReply, CookiesGoOutWithTheNextRequest) {
    ScriptedServer srv;
    srv.Accept()
        .ExpectRequest()
        .Send(Reply("HTTP/1.0 200 OK\r\nSet-Cookie: a=1; path=/\r\nset-cookie: B = 2 \r\n", ""))
        .Close()
        .Accept()
        .ExpectRequest()
        .Send(Reply("HTTP/1.0 200 OK\r\nSet-Cookie: a=; expires=0\r\nSet-Cookie: b=3\r\n", ""))
        .Close()
        .Accept()
        .ExpectRequest()
        .Send(Reply("HTTP/1.0 200 OK\r\n", ""))
        .Close()
        .Start();
    THTTPTransport t;
    t.Timeout = 5000;
    for (int i = 0; i < 3; ++i) {
        t.Clear();
        ASSERT_TRUE(t.HTTPMethod("GET", srv.Url("/"))) << i;
    }
    const auto requests = srv.Requests();
    ASSERT_EQ(requests.size(), 3u);
    EXPECT_EQ(requests[0].find("Cookie:"), std::string::npos);
    EXPECT_NE(requests[1].find("\r\nCookie: a=1; B=2\r\n"), std::string::npos) << requests[1];
    EXPECT_NE(requests[2].find("\r\nCookie: b=3\r\n"), std::string::npos) << requests[2];
}

TEST(TransportReply, Http11ReusesTheConnection) {
    ScriptedServer srv;
    srv.Accept()
        .ExpectRequest()
        .Send(Reply("HTTP/1.1 200 OK\r\n", "one"))
        .ExpectRequest()
        .Send(Reply("HTTP/1.1 200 OK\r\nConnection: close\r\n", "two"))
        .Close()
        .Accept()
        .ExpectRequest()
        .Send(Reply("HTTP/1.1 200 OK\r\n", "three"))
        .Close()
        .Start();
    THTTPTransport t;
    t.Timeout = 5000;
    t.Protocol = "1.1";
    int connects = 0;
    t.Sock->OnStatus = [&](TTCPClientSocket&, TSocketStatusReason r, const std::string&) {
        connects += r == SR_Connect;
    };
    const char* bodies[] = {"one", "two", "three"};
    const int wantConnects[] = {1, 1, 2};
    for (int i = 0; i < 3; ++i) {
        SCOPED_TRACE(bodies[i]);
        t.Clear();
        ASSERT_TRUE(t.HTTPMethod("GET", srv.Url("/"))) << t.Sock->LastErrorDesc;
        EXPECT_EQ(BodyOf(t), bodies[i]);
        EXPECT_EQ(connects, wantConnects[i]);
    }
    EXPECT_EQ(t.AliveHost, "127.0.0.1");
    EXPECT_EQ(t.AlivePort, std::to_string(srv.Port()));
}

// A connection the server has closed, or one with unread bytes on it, is not reused.
TEST(TransportReply, Http11DoesNotReuseABusyConnection) {
    const struct {
        const char* name;
        std::string first;
        int serverPauseMs, clientPauseMs;
    } cases[] = {
        {"closed by the server", Reply("HTTP/1.1 200 OK\r\n", "one"), 0, 300},
        // The server keeps the connection open past the second request; only the surplus tells.
        {"bytes beyond the body", Reply("HTTP/1.1 200 OK\r\n", "one") + "surplus", 500, 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        ScriptedServer srv;
        srv.Accept()
            .ExpectRequest()
            .Send(c.first)
            .SleepMs(c.serverPauseMs)
            .Close()
            .Accept()
            .ExpectRequest()
            .Send(Reply("HTTP/1.1 200 OK\r\n", "two"))
            .Close()
            .Start();
        THTTPTransport t;
        t.Timeout = 5000;
        t.Protocol = "1.1";
        ASSERT_TRUE(t.HTTPMethod("GET", srv.Url("/")));
        EXPECT_EQ(BodyOf(t), "one");
        EXPECT_TRUE(t.Sock->IsOpen());
        std::this_thread::sleep_for(std::chrono::milliseconds(c.clientPauseMs));
        t.Clear();
        ASSERT_TRUE(t.HTTPMethod("GET", srv.Url("/"))) << t.Sock->LastErrorDesc;
        EXPECT_EQ(BodyOf(t), "two");
    }
}

// A body that failed part-way leaves the connection in an unknown state: the next request
// connects anew instead of writing into it.
TEST(TransportReply, Http11DropsTheConnectionAfterAFailedBody) {
    ScriptedServer srv;
    srv.Accept()
        .ExpectRequest()
        .Send("HTTP/1.1 200 OK\r\nContent-Length: 10\r\n\r\nabc")
        .SleepMs(600)
        .Accept()
        .ExpectRequest()
        .Send(Reply("HTTP/1.1 200 OK\r\n", "two"))
        .Close()
        .Start();
    THTTPTransport t;
    t.Timeout = 200;
    t.Protocol = "1.1";
    EXPECT_FALSE(t.HTTPMethod("GET", srv.Url("/")));
    EXPECT_EQ(t.Sock->LastError, 10060);
    EXPECT_FALSE(t.Sock->IsOpen());
    t.Timeout = 5000;
    t.Clear();
    ASSERT_TRUE(t.HTTPMethod("GET", srv.Url("/"))) << t.Sock->LastErrorDesc;
    EXPECT_EQ(BodyOf(t), "two");
}
}  // namespace
