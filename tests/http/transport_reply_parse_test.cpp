// The reply head parser: status lines, folding, framing, chunk sizes, bounds, cookies.
#include <gtest/gtest.h>

#include <deque>

#include "http/cookie_jar.h"
#include "http/http_reply.h"

using namespace http;
using namespace platform;

namespace {
TEST(ParseStatusLine, CodeAndReason) {
    const struct {
        const char* line;
        int code;
        const char* reason;
    } cases[] = {
        {"HTTP/1.0 404 Not Found", 404, "Not Found"},
        {"HTTP/1.1 200", 200, ""},
        {"HTTP/1.1 200 ", 200, ""},
        {"HTTP/1.1 200 OK  ", 200, "OK"},
        {"HTTP/1.1  301   Moved  Permanently", 301, "Moved  Permanently"},
        {"HTTP/1.1 abc Bad", 0, "Bad"},
        {"HTTP/1.0", 0, ""},
        {"", 0, ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.line);
        const TStatusLine st = ParseStatusLine(c.line);
        EXPECT_EQ(st.Code, c.code);
        EXPECT_EQ(st.Reason, c.reason);
    }
}

TEST(FoldHeaderLines, JoinsContinuationLines) {
    const std::vector<std::string> in = {"X-A: one", " two", "\tthree\tfour ", "X-B: b  ", "\"q\"",
                                         ":c",       "=d",   "X-C: c",         ""};
    const std::vector<std::string> want = {"X-A: one two three four", "X-B: b   \"q\" :c =d", "X-C: c", ""};
    EXPECT_EQ(FoldHeaderLines(in), want);
}

TEST(ApplyHeaderLine, Framing) {
    const struct {
        const char* name;
        std::vector<std::string> lines;
        bool viaProxy;
        int64_t length;
        TTransferEncoding encoding;
        bool close;
        const char* mime;
    } cases[] = {
        {"nothing", {"X: y"}, false, -1, TE_UNKNOWN, false, "text/html"},
        {"length", {"content-length:  42 "}, false, 42, TE_IDENTITY, false, "text/html"},
        {"length zero", {"Content-Length: 0"}, false, 0, TE_IDENTITY, false, "text/html"},
        {"length not a number", {"Content-Length: many"}, false, -1, TE_UNKNOWN, false, "text/html"},
        {"length 64-bit",
         {"Content-Length: 1000000000000000"},
         false,
         1000000000000000,
         TE_IDENTITY,
         false,
         "text/html"},
        {"chunked wins",
         {"Content-Length: 5", "Transfer-Encoding: gzip, Chunked"},
         false,
         5,
         TE_CHUNKED,
         false,
         "text/html"},
        {"chunked first",
         {"Transfer-Encoding: chunked", "Content-Length: 5"},
         false,
         5,
         TE_CHUNKED,
         false,
         "text/html"},
        {"other encoding", {"Transfer-Encoding: gzip"}, false, -1, TE_UNKNOWN, false, "text/html"},
        {"type", {"Content-Type:  text/plain; charset=x "}, false, -1, TE_UNKNOWN, false, "text/plain; charset=x"},
        {"close", {"Connection: Close"}, false, -1, TE_UNKNOWN, true, "text/html"},
        {"keep-alive", {"Connection: keep-alive"}, false, -1, TE_UNKNOWN, false, "text/html"},
        {"proxy close ignored directly", {"Proxy-Connection: close"}, false, -1, TE_UNKNOWN, false, "text/html"},
        {"proxy close via proxy", {"Proxy-Connection: close"}, true, -1, TE_UNKNOWN, true, "text/html"},
        {"close ignored via proxy", {"Connection: close"}, true, -1, TE_UNKNOWN, false, "text/html"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        TReplyFraming f;
        f.CloseAfter = false;
        for (const std::string& line : c.lines) ApplyHeaderLine(f, line, c.viaProxy);
        EXPECT_EQ(f.DeclaredLength, c.length);
        EXPECT_EQ(f.Encoding, c.encoding);
        EXPECT_EQ(f.CloseAfter, c.close);
        EXPECT_EQ(f.MimeType, c.mime);
    }
}

TEST(ParseChunkSize, HexBeforeExtensions) {
    const struct {
        const char* line;
        int64_t size;
    } cases[] = {
        {"5", 5},
        {"1a;ext=1", 26},
        {"1A ; ext", 26},
        {"ff ", 255},
        {"10 junk", 16},
        {"0", 0},
        {"7fffffffffffffff", INT64_MAX},
        {"00000000000000000001", 1},
        // Not a size: -1, never 0, which would end the body early.
        {" ff", -1},
        {"zz", -1},
        {"-5", -1},
        {"0x10", -1},
        {"", -1},
        {";", -1},
        {"8000000000000000", -1},
        {"10000000000000000", -1},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.line);
        EXPECT_EQ(ParseChunkSize(c.line), c.size);
    }
}

// Feeds canned lines; an exhausted script is a failed source (a socket error).
struct Lines {
    std::deque<std::string> left;
    TLineSource Source() {
        return [this](std::string& line) {
            if (left.empty()) return false;
            line = left.front();
            left.pop_front();
            return true;
        };
    }
};

TEST(ReadReplyHead, StatusHeadersAndInterimReplies) {
    Lines in{{"", "HTTP/1.1 100 Continue", "", "HTTP/1.1 200 OK", "Content-Length: 3", "X: a", " b", "", "abc"}};
    TReplyHead head;
    ASSERT_EQ(ReadReplyHead(in.Source(), false, false, head), THeadResult::Ok);
    EXPECT_EQ(head.ResultCode, 200);
    EXPECT_EQ(head.ResultString, "OK");
    const std::vector<std::string> want = {"HTTP/1.1 100 Continue", "HTTP/1.1 200 OK", "Content-Length: 3", "X: a b",
                                           ""};
    EXPECT_EQ(head.Lines, want);
    EXPECT_EQ(head.Framing.Encoding, TE_IDENTITY);
    EXPECT_TRUE(head.Framing.CloseAfter);
    EXPECT_EQ(in.left.size(), 1u) << "the body must stay unread";
}

TEST(ReadReplyHead, Http11KeepsTheConnectionUnlessClosed) {
    Lines keep{{"HTTP/1.1 200 OK", ""}}, close{{"HTTP/1.1 200 OK", "Connection: close", ""}};
    TReplyHead a, b;
    ASSERT_EQ(ReadReplyHead(keep.Source(), false, true, a), THeadResult::Ok);
    ASSERT_EQ(ReadReplyHead(close.Source(), false, true, b), THeadResult::Ok);
    EXPECT_FALSE(a.Framing.CloseAfter);
    EXPECT_TRUE(b.Framing.CloseAfter);
}

TEST(ReadReplyHead, ReplyWithoutStatusLine) {
    Lines in{{"", "hello \xe9", "Content-Length: 3", ""}};
    TReplyHead head;
    ASSERT_EQ(ReadReplyHead(in.Source(), false, false, head), THeadResult::Ok);
    EXPECT_EQ(head.ResultCode, 0);
    EXPECT_FALSE(head.HasStatusLine);
    EXPECT_TRUE(head.Lines.empty());
    EXPECT_EQ(head.BodyPrefix, "hello \xe9\r\n") << "body bytes are not recoded";
    EXPECT_EQ(in.left.size(), 2u) << "no header lines are read without a status line";
}

TEST(ReadReplyHead, DecodesWindows1252) {
    Lines in{{"HTTP/1.0 200 Gr\xfc\xdf", "X-Name: \x80", ""}};
    TReplyHead head;
    ASSERT_EQ(ReadReplyHead(in.Source(), false, false, head), THeadResult::Ok);
    EXPECT_EQ(head.ResultString, "Gr\xc3\xbc\xc3\x9f");
    EXPECT_EQ(head.Lines[1], "X-Name: \xe2\x82\xac");
}

TEST(ReadReplyHead, SourceFailures) {
    const struct {
        const char* name;
        std::deque<std::string> lines;
        int code;
    } cases[] = {
        {"nothing at all", {}, 500},
        {"only blank lines", {"", ""}, 500},
        {"in the headers", {"HTTP/1.0 404 Not Found", "X: y"}, 404},
        {"after an interim reply", {"HTTP/1.1 100 Continue"}, 100},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        Lines in{c.lines};
        TReplyHead head;
        EXPECT_EQ(ReadReplyHead(in.Source(), false, false, head), THeadResult::SourceFailed);
        EXPECT_EQ(head.ResultCode, c.code);
    }
}

TEST(ReadReplyHead, BoundsLinesAndTheWholeHead) {
    const std::string longLine = "X: " + std::string(kMaxReplyLine, 'a');
    const std::string fine = "X: " + std::string(kMaxReplyLine - 3, 'a');
    std::deque<std::string> many{"HTTP/1.0 200 OK"};
    for (size_t i = 0; i < kMaxReplyHead / fine.size() + 1; ++i) many.push_back(fine);
    std::deque<std::string> blanks(kMaxReplyHead / 2 + 1, "");
    std::deque<std::string> interims(kMaxReplyHead / 20, "HTTP/1.1 100 Continue");
    const struct {
        const char* name;
        std::deque<std::string> lines;
        THeadResult result;
    } cases[] = {
        {"a line at the bound", {"HTTP/1.0 200 OK", fine, ""}, THeadResult::Ok},
        {"a header line above it", {"HTTP/1.0 200 OK", longLine, ""}, THeadResult::TooLarge},
        {"a status line above it", {"HTTP/1.0 200 " + longLine, ""}, THeadResult::TooLarge},
        {"a first body line above it", {longLine}, THeadResult::TooLarge},
        {"many lines", many, THeadResult::TooLarge},
        {"endless blank lines", blanks, THeadResult::TooLarge},
        {"endless interim replies", interims, THeadResult::TooLarge},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        Lines in{c.lines};
        TReplyHead head;
        EXPECT_EQ(ReadReplyHead(in.Source(), false, false, head), c.result);
    }
}

TEST(CookieJar, EachCookieStaysWithItsHost) {
    TStringList a, b, secure;
    a.Add("HTTP/1.1 200 OK");
    a.Add("Set-Cookie: a=1; path=/");
    a.Add("set-cookie:  b = two words ; HttpOnly");
    a.Add("SET-COOKIE: gone=x");
    a.Add("SET-COOKIE: Gone=");
    a.Add("Set-Cookie: A=3");
    a.Add("X-Set-Cookie: c=4");
    b.Add("Set-Cookie: a=other");
    secure.Add("Set-Cookie: s=1; Path=/; secure");
    TCookieJar jar;
    jar.Update("one.example", false, a);
    jar.Update("two.example", false, b);
    jar.Update("one.example", false, secure);  // Secure over http: not kept
    jar.Update("One.Example", true, secure);
    using V = std::vector<std::string>;
    const struct {
        const char* Name;
        std::string Host;
        bool Https;
        V Sent;
    } cases[] = {
        {"host one over http", "one.example", false, {"A=3", "b=two words"}},
        {"host one over https adds the Secure cookie", "ONE.example", true, {"A=3", "b=two words", "s=1"}},
        {"host two has its own", "two.example", true, {"a=other"}},
        {"any other host gets nothing", "three.example", true, {}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.Name);
        EXPECT_EQ(jar.For(c.Host, c.Https), c.Sent);
    }
}
}  // namespace
