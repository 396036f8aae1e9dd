// Form posts and GETs of the sender: the bytes on the wire, the reply handed back, and the
// "Connection reset by peer" rule.
#include <gtest/gtest.h>

#include "http/zel_http_send.h"
#include "platform/errors.h"
#include "tests/http/sender_fixtures.h"
#include "tests/support/scripted_server.h"
#include "tests/support/socket_faults.h"
#include "tests/support/temp_dir.h"

using namespace http;
using namespace platform;

namespace {

class SenderPost : public ::testing::Test {
protected:
    void SetUp() override { ClearSocketFault(); }
    void TearDown() override { ClearSocketFault(); }
    FakeProxyServices os;  // no proxy configured
    ScopedOSServices use{os};
};

TEST_F(SenderPost, FormPostGoesOutInOneWriteByteForByte) {
    struct Case {
        const char* name;
        std::string data;
        std::string wire;  // the body as it must arrive (ANSI)
    };
    const Case cases[] = {
        {"status record", "a=1&b=2", "a=1&b=2"},
        {"non-ASCII in the ANSI code page", "name=Zo\xC3\xAB&x=\xE2\x82\xAC", "name=Zo\xEB&x=\x80"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        ScriptedServer server;
        server.Accept()
            .ExpectRequest()
            .Send("HTTP/1.0 200 OK\r\nContent-Length: 13\r\n\r\nGot It\r\nline2")
            .Close()
            .Start();
        TzelHttpSend http;
        http.UserAgent = "BrinquetExpressUpdater";
        TStringList reply;
        ClearSocketFault();
        ASSERT_TRUE(http.PostURL(server.Url("/scripts/zelisapi.dll/runningupload"), c.data, reply));
        EXPECT_EQ(SocketWriteCount(), 1);
        EXPECT_EQ(server.Request(0),
                  "POST /scripts/zelisapi.dll/runningupload HTTP/1.0\r\n"
                  "Host: " +
                      server.HostPort() +
                      "\r\n"
                      "Keep-Alive: 300\r\n"
                      "Connection: keep-alive\r\n"
                      "User-Agent: BrinquetExpressUpdater\r\n"
                      "Content-Type: application/x-www-form-urlencoded\r\n"
                      "Content-Length: " +
                      std::to_string(c.wire.size()) +
                      "\r\n"
                      "\r\n" +
                      c.wire);
        ASSERT_EQ(reply.Count(), 2);
        EXPECT_EQ(reply[0], "Got It");
        EXPECT_EQ(reply[1], "line2");
    }
}

TEST_F(SenderPost, StreamFormCopiesTheWholeReplyAfterWhatDataHeld) {
    ScriptedServer server;
    server.Accept().ExpectRequest().Send(Reply200(std::string("bin\0\r\nary", 9))).Close().Start();
    TzelHttpSend http;
    TMemoryStream data;
    data.Write("pre:", 4);
    ASSERT_TRUE(http.PostURL(server.Url("/p"), "k=v", data));
    EXPECT_EQ(data.Bytes(), std::string("pre:bin\0\r\nary", 13));
}

// A reply without a length ends with the server closing the connection, which the socket
// reports as a reset.
TEST_F(SenderPost, ConnectionResetIsSuccessOnlyWhenIgnored) {
    for (const bool ignore : {false, true}) {
        SCOPED_TRACE(ignore ? "ignored" : "not ignored");
        ScriptedServer server;
        server.Accept().ExpectRequest().Send("HTTP/1.0 200 OK\r\n\r\nGot It, partly").Close().Start();
        TzelHttpSend http;
        http.IgnoreConnectionReset = ignore;
        TMemoryStream data;
        if (!ignore) {
            try {
                http.PostURL(server.Url("/p"), "a=1", data);
                FAIL() << "no exception";
            } catch (const ESocketError& e) {
                EXPECT_EQ(std::string(e.what()), "TCP/IP Socket error 10054: Connection reset by peer");
                EXPECT_EQ(e.ErrorCode, 10054);
            }
            EXPECT_EQ(data.GetSize(), 0);
        } else {
            ASSERT_TRUE(http.PostURL(server.Url("/p"), "a=1", data));
            EXPECT_EQ(data.Bytes(), "Got It, partly");
        }
    }
}

// A reset before the whole request went out is no end of a reply: the form never arrived,
// so the post fails, and the posted form data never comes back as if it were the reply. Also
// through a proxy's tunnel, whose own answer to CONNECT was read before the reset.
TEST_F(SenderPost, ResetBeforeTheRequestWentOutIsAFailure) {
    struct {
        const char* Name;
        bool Tunnel;
    } const cases[] = {{"reset while sending", false}, {"reset in the middle of a tunnel's answer", true}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.Name);
        ScriptedServer server;
        std::string url = server.Url("/p");
        TzelHttpSend http;
        http.IgnoreConnectionReset = true;
        if (c.Tunnel) {
            server.Accept().ExpectRequest().Send("HTTP/1.0 200 Connection established\r\n").Close().Start();
            http.ProxyHost = "127.0.0.1";
            http.ProxyPort = std::to_string(server.Port());
            url = "https://update.example/p";
        } else {
            server.Accept().Start();
            SetSocketFault(-1, 1, 10054);
        }
        TMemoryStream data;
        try {
            http.PostURL(url, "name=secret", data);
            ADD_FAILURE() << "no exception";
        } catch (const ESocketError& e) {
            EXPECT_EQ(e.ErrorCode, 10054);
        }
        EXPECT_EQ(data.GetSize(), 0);
    }
}

TEST_F(SenderPost, OtherFailuresPassEvenWhenResetsAreIgnored) {
    const std::string url = "http://127.0.0.1:1/p";  // nobody listens on port 1
    TzelHttpSend http;
    http.IgnoreConnectionReset = true;
    TMemoryStream data;
    try {
        http.PostURL(url, "a=1", data);
        FAIL() << "no exception";
    } catch (const ESocketError& e) {
        EXPECT_EQ(std::string(e.what()), "TCP/IP Socket error 10061: Connection refused");
    }

    ScriptedServer silent;
    silent.Accept().ExpectRequest().SleepMs(600).Close().Start();
    TzelHttpSend slow;
    slow.IgnoreConnectionReset = true;
    slow.Timeout = 200;
    try {
        slow.PostURL(silent.Url("/p"), "a=1", data);
        FAIL() << "no exception";
    } catch (const ESocketError& e) {
        EXPECT_EQ(std::string(e.what()), "TCP/IP Socket error 10060: Connection timed out");
    }
}

TEST_F(SenderPost, GetsIgnoreTheStatusAndHandBackTheBody) {
    const std::string body("line1\r\nline\xE9 2\r\n\0end", 20);
    const std::string page =
        "HTTP/1.0 404 Not Found\r\nContent-Length: " + std::to_string(body.size()) + "\r\n\r\n" + body;
    TempDir dir;

    ScriptedServer server;
    server.Accept().ExpectRequest().Send(page).Close();
    server.Accept().ExpectRequest().Send(page).Close();
    server.Accept().ExpectRequest().Send(page).Close();
    server.Start();

    TzelHttpSend http;
    TStringList text;
    ASSERT_TRUE(http.GetText(server.Url("/t"), text));
    EXPECT_EQ(http.ResultCode, 404);
    ASSERT_GE(text.Count(), 2);
    EXPECT_EQ(text[0], "line1");
    EXPECT_EQ(text[1], "line\xC3\xA9 2");  // decoded from the ANSI code page

    http.Clear();
    TMemoryStream bin;
    bin.Write("XXXXXXXXXXXXXXXXXXXXXXXXXXXXXX", 30);
    ASSERT_TRUE(http.GetBinary(server.Url("/b"), bin));
    EXPECT_EQ(bin.Bytes().substr(0, body.size()), body);  // written over from the start

    http.Clear();
    dir.Write("f.bin", std::string(100, 'o'));  // truncated first
    ASSERT_TRUE(http.GetFile(server.Url("/f"), dir.File("f.bin")));
    EXPECT_EQ(dir.Read("f.bin"), body);
}

TEST_F(SenderPost, ConvertToAnsiandStuffInStream) {
    struct Case {
        const char* name;
        std::string before;  // already in the stream
        std::string text;
        std::string expected;
    };
    const Case cases[] = {
        {"at the start: byte-order mark", "", "abc",
         "\xEF\xBB\xBF"
         "abc"},
        {"after other bytes: no mark", "xy", "abc", "xyabc"},
        {"Windows-1252 characters survive", "", "\xE2\x82\xAC\xC3\xA9", "\xEF\xBB\xBF\xE2\x82\xAC\xC3\xA9"},
        {"characters outside it become ?", "-", "a\xCF\x80z\xE4\xB8\xAD", "-a?z?"},
        {"empty text at the start", "", "", "\xEF\xBB\xBF"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        TzelHttpSend http;
        TMemoryStream s;
        s.Write(c.before.data(), c.before.size());
        http.ConvertToAnsiandStuffInStream(s, c.text);
        EXPECT_EQ(s.Bytes(), c.expected);
    }
}

}  // namespace
