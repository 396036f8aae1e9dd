// The sender's three events, raised from the socket's status reports.
#include <gtest/gtest.h>

#include "http/zel_http_send.h"
#include "platform/errors.h"
#include "tests/http/sender_fixtures.h"
#include "tests/support/scripted_server.h"

using namespace http;
using namespace platform;

namespace {

class SenderEvents : public ::testing::Test {
protected:
    FakeProxyServices os;
    ScopedOSServices use{os};
};

TEST_F(SenderEvents, OneConnectAndOneCloseForEachReply) {
    ScriptedServer server;
    server.Accept().ExpectRequest().Send(Reply200("one")).Close();
    server.Accept().ExpectRequest().Send(Reply200("two")).Close();
    server.Start();
    TzelHttpSend http;
    EventLog log;
    log.Attach(http);
    TStringList reply;
    ASSERT_TRUE(http.GetText(server.Url("/1"), reply));
    http.Clear();
    ASSERT_TRUE(http.GetText(server.Url("/2"), reply));
    const std::string at = "connect:" + server.HostPort();
    EXPECT_EQ(log.Events, (std::vector<std::string>{at, "close:", at, "close:"}));
}

TEST_F(SenderEvents, ConnectNamesTheProxyWhenThereIsOne) {
    ScriptedServer proxy;
    proxy.Accept().ExpectRequest().Send(Reply200("x")).Close().Start();
    os.Text.ProxyServer = "http=" + proxy.HostPort();
    TzelHttpSend http;
    EventLog log;
    log.Attach(http);
    TStringList reply;
    ASSERT_TRUE(http.GetText("http://origin.example/", reply));
    EXPECT_EQ(log.Events, (std::vector<std::string>{"connect:" + proxy.HostPort(), "close:"}));
}

TEST_F(SenderEvents, ErrorEventComesBeforeTheException) {
    struct Case {
        const char* name;
        std::string url;
        std::string error;  // the event's value, and the text of the exception
    };
    const Case cases[] = {
        {"host not found", "http://" + UnresolvableHost() + "/", "11001,Host not found"},
        {"connection refused", "http://127.0.0.1:1/", "10061,Connection refused"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        TzelHttpSend http;
        EventLog log;
        log.Attach(http);
        http.OnSocketError = [&](TzelHttpSend& s, const std::string& v) {
            EXPECT_EQ(&s, &http);
            log.Events.push_back("error:" + v);
        };
        TStringList reply;
        try {
            http.GetText(c.url, reply);
            ADD_FAILURE() << "no exception";
        } catch (const ESocketError& e) {
            const std::string code = c.error.substr(0, c.error.find(','));
            EXPECT_EQ(std::string(e.what()), "TCP/IP Socket error " + code + ": " + c.error.substr(code.size() + 1));
        }
        // Never connected, so nothing was opened that could be reported as closed.
        EXPECT_EQ(log.Events, (std::vector<std::string>{"error:" + c.error}));
    }
}

// A connection the server drops mid-reply: the error, then the close of what was opened.
TEST_F(SenderEvents, DroppedConnectionReportsErrorThenClose) {
    ScriptedServer server;
    server.Accept().ExpectRequest().Send("HTTP/1.0 200 OK\r\nContent-Length: 10\r\n\r\nabc").Close().Start();
    TzelHttpSend http;
    EventLog log;
    log.Attach(http);
    TStringList reply;
    EXPECT_THROW(http.GetText(server.Url("/"), reply), ESocketError);
    http.Sock->CloseSocket();
    http.Sock->CloseSocket();  // a second close of the same connection is not reported again
    EXPECT_EQ(log.Events, (std::vector<std::string>{"connect:" + server.HostPort(),
                                                    "error:10054,Connection reset by peer", "close:"}));
}

TEST_F(SenderEvents, HandlersSeeTheSenderItself) {
    ScriptedServer server;
    server.Accept().ExpectRequest().Send(Reply200("x")).Close().Start();
    TzelHttpSend http;
    int seen = 0;
    http.OnConnect = [&](TzelHttpSend& s, const std::string&) { seen += &s == &http; };
    http.OnCloseSocket = [&](TzelHttpSend& s, const std::string&) { seen += &s == &http; };
    TStringList reply;
    ASSERT_TRUE(http.GetText(server.Url("/"), reply));
    EXPECT_EQ(seen, 2);
}

}  // namespace
