// The proxy lookup: the walk over the system's proxy server text, and how the sender applies
// what it finds (once per protocol, before the request).
#include <gtest/gtest.h>

#include "http/zel_http_send.h"
#include "platform/errors.h"
#include "tests/http/sender_fixtures.h"
#include "tests/support/scripted_server.h"

using namespace http;
using namespace platform;

namespace {

struct ProxyTextCase {
    const char* name;
    const char* server;
    const char* protocol;
    const char* host;
    const char* port;
};

TEST(SenderProxyText, WalksEntriesForTheProtocol) {
    const ProxyTextCase cases[] = {
        {"single entry, http", "proxy:8080", "http", "proxy", "8080"},
        {"single entry, https", "proxy:8080", "https", "proxy", "8080"},
        {"per protocol, http", "http=p1:80,https=p2:443", "http", "p1", "80"},
        {"per protocol, https", "http=p1:80,https=p2:443", "https", "p2", "443"},
        {"per protocol, none for ftp", "http=p1:80,https=p2:443", "ftp", "", ""},
        {"default before a foreign entry", "p0:3128 ftp=p3:21", "http", "p0", "3128"},
        {"protocol entry beats the default", "p0:3128 ftp=p3:21", "ftp", "p3", "21"},
        {"empty text", "", "http", "", ""},
        {"empty protocol means http", "http=p1:80 https=p2:443", "", "p1", "80"},
        {"protocol compared in any case", "HTTP=P1:80", "Http", "P1", "80"},
        {"first protocol entry wins", "http=p1:80 http=p2:81", "http", "p1", "80"},
        {"last default wins", "p0:3128 p9:9", "http", "p9", "9"},
        {"tabs around the parts are trimmed", "http=\tp1:80\t", "http", "p1", "80"},
        // Two separators in a row must not leave an empty default that hides p0.
        {"double blank", "p0:3128  ftp=p3:21", "http", "p0", "3128"},
        {"trailing blank", "p0:3128 ", "http", "p0", "3128"},
        {"blank after comma", "http=p1:80, https=p2:443", "https", "p2", "443"},
        // No ":": the port stays empty so the sender keeps its default proxy port.
        {"entry without port", "p0", "http", "p0", ""},
        {"bracketed IPv6 proxy", "[::1]:3128", "http", "::1", "3128"},
        {"bracketed IPv6 proxy without port", "http=[fe80::1]", "http", "fe80::1", ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const TProxySetting s = ProxySettingFromText({c.server, "", ""}, c.protocol);
        EXPECT_EQ(s.Host, c.host);
        EXPECT_EQ(s.Port, c.port);
    }
}

TEST(SenderProxyText, BypassListBlanksBecomeCommas) {
    EXPECT_EQ(ProxySettingFromText({"p:1", "localhost *.local <local>", ""}, "http").Bypass,
              "localhost,*.local,<local>");
    EXPECT_EQ(ProxySettingFromText({"", "a,b", ""}, "http").Bypass, "a,b");
}

TEST(SenderProxyText, NoSourceGivesTheEmptySetting) {
    FakeProxyServices os;
    os.HasSource = false;
    os.Text = {"proxy:8080", "x", ""};
    ScopedOSServices use(os);
    const TProxySetting s = ReadProxySettings("http");
    EXPECT_EQ(s.Host, "");
    EXPECT_EQ(s.Port, "");
    EXPECT_EQ(s.Bypass, "");
}

// The scripted server plays the proxy; the request it receives shows whether the sender went
// through it (absolute target) or straight to the origin.
TEST(SenderProxy, SystemProxyTextDecidesTheRoute) {
    struct Case {
        const char* name;
        std::string text;  // "{proxy}" stands for the scripted server's address
        bool viaProxy;
    };
    const Case cases[] = {
        {"single entry", "{proxy}", true},
        {"http entry among others", "http={proxy},https=p2:443", true},
        {"default with a foreign entry", "{proxy} ftp=p3:21", true},
        {"only other protocols", "https=p2:443 ftp=p3:21", false},
        {"empty text", "", false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        ScriptedServer server;
        server.Accept().ExpectRequest().Send(Reply200("ok")).Close().Start();
        FakeProxyServices os;
        std::string text = c.text;
        const size_t at = text.find("{proxy}");
        if (at != std::string::npos) text.replace(at, 7, server.HostPort());
        os.Text.ProxyServer = text;
        ScopedOSServices use(os);

        TzelHttpSend http;
        // Direct requests go to the server itself; proxied ones name an origin that does not exist.
        const std::string url = c.viaProxy ? "http://origin.example:81/x?y=1" : server.Url("/x?y=1");
        TStringList reply;
        ASSERT_TRUE(http.GetText(url, reply));
        EXPECT_EQ(reply.Text(), "ok\r\n");
        const std::string request = server.Request(0);
        if (c.viaProxy) {
            EXPECT_EQ(http.ProxyHost, "127.0.0.1");
            EXPECT_EQ(http.ProxyPort, std::to_string(server.Port()));
            EXPECT_EQ(request.substr(0, request.find("\r\n")), "GET http://origin.example:81/x?y=1 HTTP/1.0");
            EXPECT_NE(request.find("\r\nProxy-Connection: keep-alive\r\n"), std::string::npos);
        } else {
            EXPECT_EQ(http.ProxyHost, "");
            EXPECT_EQ(http.ProxyPort, "8080");
            EXPECT_EQ(request.substr(0, request.find("\r\n")), "GET /x?y=1 HTTP/1.0");
        }
    }
}

TEST(SenderProxy, EntryWithoutPortKeepsTheDefaultProxyPort) {
    FakeProxyServices os;
    os.Text.ProxyServer = "127.0.0.1";
    ScopedOSServices use(os);
    ScriptedServer server;  // the proxy
    TzelHttpSend http;
    http.ProxyPort = std::to_string(server.Port());  // the port set before the lookup survives it
    TStringList reply;
    server.Accept().ExpectRequest().Send(Reply200("via")).Close().Start();
    ASSERT_TRUE(http.GetText("http://origin.example/", reply));
    EXPECT_EQ(http.ProxyHost, "127.0.0.1");
    EXPECT_EQ(http.ProxyPort, std::to_string(server.Port()));
    EXPECT_EQ(reply.Text(), "via\r\n");
}

// Looked up at the first request and again only when the protocol changes; a long-lived
// sender keeps what it found.
TEST(SenderProxy, LookedUpOncePerProtocolChange) {
    ScriptedServer server;
    server.Accept().ExpectRequest().Send(Reply200("1")).Close();
    server.Accept().ExpectRequest().Send(Reply200("2")).Close();
    server.Accept().ExpectRequest().Send(Reply200("3")).Close();
    server.Start();
    FakeProxyServices os;
    ScopedOSServices use(os);
    TzelHttpSend http;
    TStringList reply;

    ASSERT_TRUE(http.GetText(server.Url("/a"), reply));
    EXPECT_EQ(os.Lookups, 1);
    os.Text.ProxyServer = "127.0.0.1:1";  // changed settings are not seen by this sender
    http.Clear();
    ASSERT_TRUE(http.GetText(server.Url("/b"), reply));
    EXPECT_EQ(os.Lookups, 1);
    EXPECT_EQ(http.ProxyHost, "");

    // A protocol change looks again (the tunnel to port 1 is refused; the lookup came first).
    os.Text.ProxyServer = "https=127.0.0.1:1";
    http.Clear();
    EXPECT_THROW(http.GetText("https://origin.example/", reply), ESocketError);
    EXPECT_EQ(os.Lookups, 2);
    EXPECT_EQ(http.ProxyHost, "127.0.0.1");
    EXPECT_EQ(http.ProxyPort, "1");

    // Back to http: looked up again, and an empty answer leaves the proxy found before.
    os.Text.ProxyServer = "";
    http.Clear();
    EXPECT_THROW(http.GetText(server.Url("/c"), reply), ESocketError);
    EXPECT_EQ(os.Lookups, 3);
    EXPECT_EQ(http.ProxyHost, "127.0.0.1");
    http.ProxyHost.clear();
    http.Clear();
    ASSERT_TRUE(http.GetText(server.Url("/c"), reply));
    EXPECT_EQ(reply.Text(), "3\r\n");
}

TEST(SenderProxy, Windows9xIsRefusedBeforeAnyNetworkActivity) {
    FakeProxyServices os;
    os.Windows9x = true;
    ScopedOSServices use(os);
    TzelHttpSend http;
    EventLog log;
    log.Attach(http);
    TStringList reply;
    try {
        http.GetText("http://127.0.0.1:1/", reply);
        FAIL() << "no exception";
    } catch (const EUpdaterError& e) {
        EXPECT_EQ(std::string(e.what()),
                  "This feature is not allowed in Windows 95, 98 or ME.  You must use a web browser to "
                  "connect to the internet.");
        EXPECT_EQ(dynamic_cast<const ESocketError*>(&e), nullptr);
    }
    EXPECT_EQ(os.Lookups, 0);
    EXPECT_TRUE(log.Events.empty());
}

}  // namespace

// A proxy the client cannot speak to is left out of the route, and the sender says so once,
// however often it looks the proxy up again.
TEST(SenderProxy, UnusedProxySettingsAreNotedOnce) {
    struct TProbe : TzelHttpSend {
        using TzelHttpSend::SetupProxy;
    };
    FakeProxyServices os;
    os.Text = {"", "", "all_proxy=socks5://s.local:1080"};
    ScopedOSServices use(os);
    TProbe sender;
    std::vector<std::string> notes;
    sender.OnProxyNote = [&](TzelHttpSend&, const std::string& note) { notes.push_back(note); };
    for (const char* protocol : {"http", "https", "http"}) sender.SetupProxy(protocol);
    EXPECT_EQ(os.Lookups, 3);
    EXPECT_EQ(sender.ProxyHost, "");
    ASSERT_EQ(notes.size(), 1u);
    EXPECT_EQ(notes[0], "Proxy settings not used (only HTTP proxies are supported): all_proxy=socks5://s.local:1080");
}
