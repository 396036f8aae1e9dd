// The proxy as an office sets it up: per-protocol lists, the bypass list, credentials in the
// proxy's address, and proxies that answer 407 (through a request and to CONNECT).
#include <gtest/gtest.h>

#include "http/ntlm_auth.h"
#include "http/proxy_auth.h"
#include "http/proxy_bypass.h"
#include "http/zel_http_send.h"
#include "platform/base64.h"
#include "tests/http/sender_fixtures.h"
#include "tests/support/scripted_server.h"

using namespace http;
using namespace platform;

namespace {

TEST(OfficeProxyText, SemicolonsAndCredentials) {
    const struct {
        const char* name;
        const char* server;
        const char* protocol;
        const char* host;
        const char* port;
        const char* user;
        const char* password;
    } cases[] = {
        {"Windows per-protocol list, http", "http=p:8080;https=p:8443", "http", "p", "8080", "", ""},
        {"Windows per-protocol list, https", "http=p:8080;https=p:8443", "https", "p", "8443", "", ""},
        {"semicolon and blank together", "http=a:1; https=b:2", "https", "b", "2", "", ""},
        {"credentials in the entry", "http=alice:s3cret@p:3128", "http", "p", "3128", "alice", "s3cret"},
        {"percent-decoded credentials", "alice%40corp:s%2F%3Bx@p:3128", "http", "p", "3128", "alice@corp", "s/;x"},
        {"domain user", "DOM\\bob:pw@p:80", "https", "p", "80", "DOM\\bob", "pw"},
        {"user without password", "bob@p:80", "http", "p", "80", "bob", ""},
        {"a scheme in front", "https=http://u:p@p2:8443", "https", "p2", "8443", "u", "p"},
        {"an '@' in a raw password", "u:p@ss@p:1", "http", "p", "1", "u", "p@ss"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const TProxySetting s = ProxySettingFromText({c.server, "", ""}, c.protocol);
        EXPECT_EQ(s.Host, c.host);
        EXPECT_EQ(s.Port, c.port);
        EXPECT_EQ(s.User, c.user);
        EXPECT_EQ(s.Password, c.password);
    }
}

TEST(OfficeProxyBypass, ListEntries) {
    const struct {
        const char* bypass;
        const char* host;
        const char* port;
        bool bypassed;
    } cases[] = {
        {"<local>", "intranet", "80", true},
        {"<local>", "intranet.corp", "80", false},
        {"*.corp.local", "a.corp.local", "80", true},
        {"*.corp.local", "corp.local", "80", false},
        {"*.CORP.local", "B.Corp.Local", "443", true},
        {"10.*", "10.1.2.3", "80", true},
        {"10.*", "110.1.2.3", "80", false},
        {"*", "anything.example", "80", true},
        {"*updates*", "eu-updates.example", "80", true},
        {"exact.example", "exact.example", "80", true},
        {"exact.example", "notexact.example", "80", false},
        {"host:8080", "host", "8080", true},
        {"host:8080", "host", "80", false},
        {"http://host", "host", "80", true},
        {"a.example;b.example", "b.example", "80", true},
        {"a.example, b.example <local>", "plain", "80", true},
        {"[::1]:8080", "::1", "8080", true},
        {"::1", "::1", "81", true},
        {"", "host", "80", false},
        {";;,", "host", "80", false},
    };
    for (const auto& c : cases)
        EXPECT_EQ(ProxyBypassed(c.bypass, c.host, c.port), c.bypassed) << c.bypass << " / " << c.host << ":" << c.port;
}

// The scripted server plays the proxy: a request that reaches it was not bypassed.
TEST(OfficeProxyBypass, ListedHostsGoStraightOut) {
    const struct {
        const char* name;
        const char* bypass;
        const char* host;  // the origin's name in the URL; the scripted server answers as it
        bool viaProxy;
    } cases[] = {
        {"listed address", "127.0.0.1", "127.0.0.1", false},
        {"wildcard", "127.0.*", "127.0.0.1", false},
        {"<local> takes a name without a dot", "<local>", "localhost", false},
        {"<local> leaves a dotted name to the proxy", "<local>", "127.0.0.1", true},
        {"another host listed", "other.example", "127.0.0.1", true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        ScriptedServer server;
        server.Accept().ExpectRequest().Send(Reply200("ok")).Close().Start();
        FakeProxyServices os;
        os.Text = {server.HostPort(), c.bypass, ""};
        ScopedOSServices use(os);
        TzelHttpSend http;
        std::vector<std::string> notes;
        http.OnProxyNote = [&](TzelHttpSend&, const std::string& n) { notes.push_back(n); };
        const std::string url = std::string("http://") + c.host + ":" + std::to_string(server.Port()) + "/f";
        TStringList reply;
        ASSERT_TRUE(http.GetText(url, reply));
        const std::string request = server.Request(0);
        const std::string line = request.substr(0, request.find("\r\n"));
        EXPECT_EQ(line, c.viaProxy ? "GET " + url + " HTTP/1.0" : std::string("GET /f HTTP/1.0"));
        EXPECT_EQ(http.ProxyHost, "127.0.0.1") << "the proxy stays set for the next request";
        ASSERT_EQ(notes.size(), 1u);
        EXPECT_EQ(notes[0], c.viaProxy ? std::string("Connecting to ") + c.host + ":" + std::to_string(server.Port()) +
                                             " through the proxy " + server.HostPort()
                                       : std::string("Connecting directly to ") + c.host + ":" +
                                             std::to_string(server.Port()) + " (listed to bypass the proxy)");
    }
}

// The automatic configuration answers per URL and overrides the manual settings and their
// bypass list; its first proxy is taken.
TEST(OfficeProxyAutomatic, EachUrlGetsItsOwnAnswer) {
    struct AutoServices : FakeProxyServices {
        std::string proxyText;
        bool ProxyForUrl(const std::string& Url, std::string& Answer) override {
            Answer = Url.find("/direct") != std::string::npos ? "" : proxyText;
            return true;
        }
    } os;
    ScriptedServer proxy;
    proxy.Accept().ExpectRequest().Send(Reply200("proxied")).Close();
    proxy.Accept().ExpectRequest().Send(Reply200("direct")).Close().Start();
    os.proxyText = proxy.HostPort() + "; 10.9.9.9:1";
    os.Text = {"127.0.0.1:1", "*", ""};  // manual settings that would send everything straight out
    ScopedOSServices use(os);
    TzelHttpSend http;
    TStringList reply;
    ASSERT_TRUE(http.GetText("http://origin.example/file", reply));
    EXPECT_EQ(reply.Text(), "proxied\r\n");
    http.Clear();
    ASSERT_TRUE(http.GetText(proxy.Url("/direct"), reply));
    EXPECT_EQ(reply.Text(), "direct\r\n");
    EXPECT_EQ(proxy.Request(0).substr(0, 37), "GET http://origin.example:80/file HTT");
    EXPECT_EQ(proxy.Request(1).substr(0, 16), "GET /direct HTTP");
}

std::string Challenge407(const std::string& Schemes, bool WithLength = true) {
    std::string lines;
    size_t from = 0;
    while (from <= Schemes.size()) {
        size_t bar = Schemes.find('|', from);
        if (bar == std::string::npos) bar = Schemes.size();
        lines += "Proxy-Authenticate: " + Schemes.substr(from, bar - from) + "\r\n";
        from = bar + 1;
    }
    const std::string page = "<html>who are you?</html>";
    return "HTTP/1.1 407 Proxy Authentication Required\r\n" + lines +
           (WithLength ? "Content-Length: " + std::to_string(page.size()) + "\r\n" : std::string()) + "\r\n" + page;
}

// What the user reads about a proxy that asks who we are: its address and schemes, never a
// connection failure.
TEST(OfficeProxyAuth, UnansweredChallengesSayWhatTheProxyWants) {
    const struct {
        const char* name;
        bool https;
        bool withLength;
        const char* user;
        const char* schemes;
        const char* error;  // "{proxy}" stands for the scripted proxy's address
    } cases[] = {
        {"request, no credentials", false, true, "", "Basic realm=\"office\"|NTLM",
         "The proxy {proxy} requires authentication (it offers Basic, NTLM) and no credentials for it are set."},
        {"request, a challenge without a length", false, false, "", "Basic realm=\"office\"",
         "The proxy {proxy} requires authentication (it offers Basic) and no credentials for it are set."},
        {"request, wrong password", false, true, "alice", "Basic realm=\"office\"",
         "The proxy {proxy} refused the credentials of alice (Basic). Check the user name and password set for "
         "this proxy."},
        {"request, a scheme we cannot answer", false, true, "alice", "Digest realm=\"x\", nonce=\"1\"",
         "The proxy {proxy} requires authentication with Digest, which this updater cannot answer here."},
        {"CONNECT, no credentials", true, true, "", "Negotiate|Basic realm=\"office\"",
         "The proxy {proxy} requires authentication (it offers Negotiate, Basic) and no credentials for it are set."},
        {"CONNECT, a challenge without a length", true, false, "", "Basic realm=\"office\"",
         "The proxy {proxy} requires authentication (it offers Basic) and no credentials for it are set."},
        {"CONNECT, wrong password", true, true, "alice", "Basic realm=\"office\"",
         "The proxy {proxy} refused the credentials of alice (Basic). Check the user name and password set for "
         "this proxy."},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        ScriptedServer proxy;
        proxy.Accept().ExpectRequest().Send(Challenge407(c.schemes, c.withLength)).Close().Start();
        FakeProxyServices os;
        os.Text.ProxyServer = std::string(*c.user ? "alice:wrong@" : "") + proxy.HostPort();
        ScopedOSServices use(os);
        TzelHttpSend http;
        TStringList reply;
        std::string error = "no error";
        try {
            http.GetText(std::string(c.https ? "https" : "http") + "://origin.example/f", reply);
        } catch (const EProxyAuthError& e) {
            error = e.what();
        }
        std::string expected = c.error;
        expected.replace(expected.find("{proxy}"), 7, proxy.HostPort());
        EXPECT_EQ(error, expected);
        const std::string request = proxy.Request(0);
        EXPECT_EQ(request.find("wrong@"), std::string::npos);
        if (*c.user) {
            EXPECT_NE(request.find("Proxy-Authorization: Basic " + EncodeBase64("alice:wrong")), std::string::npos);
        }
    }
}

// A proxy the workstation can answer: the request goes again with the answer, which only the
// proxy gets.
TEST(OfficeProxyAuth, BasicFromTheStoreAnswersTheChallenge) {
    struct StoreProvider : TProxyAuthProvider {
        std::string proxySeen;
        std::unique_ptr<TProxyAuthSession> Start(const std::vector<TProxyChallenge>&, const std::string& Proxy,
                                                 const TProxyCredentials&) override {
            proxySeen = Proxy;
            return NewBasicSession({"stored", "pw"});
        }
    } store;
    SetProxyAuthProvider(&store);
    ScriptedServer proxy;
    proxy.Accept().ExpectRequest().Send(Challenge407("Basic realm=\"office\"")).Close();
    proxy.Accept().ExpectRequest().Send(Reply200("through")).Close().Start();
    FakeProxyServices os;
    os.Text.ProxyServer = proxy.HostPort();
    ScopedOSServices use(os);
    TzelHttpSend http;
    std::vector<std::string> notes;
    http.OnProxyNote = [&](TzelHttpSend&, const std::string& n) { notes.push_back(n); };
    http.Headers.Add("X-Mine: 1");
    TStringList reply;
    EXPECT_TRUE(http.PostURL("http://origin.example/post", "a=1&b=2", reply));
    SetProxyAuthProvider(nullptr);
    EXPECT_EQ(reply.Text(), "through\r\n");
    EXPECT_EQ(store.proxySeen, proxy.HostPort());
    const std::string second = proxy.Request(1);
    EXPECT_NE(second.find("\r\nProxy-Authorization: Basic " + EncodeBase64("stored:pw") + "\r\n"), std::string::npos);
    EXPECT_NE(second.find("\r\nX-Mine: 1\r\n"), std::string::npos) << "the caller's own lines go again";
    EXPECT_EQ(second.substr(second.size() - 7), "a=1&b=2") << "and the form too";
    EXPECT_EQ(proxy.Request(0).find("Proxy-Authorization"), std::string::npos);
    ASSERT_EQ(notes.size(), 2u);
    EXPECT_EQ(notes[1], "The proxy " + proxy.HostPort() + " accepted Basic for stored");
}

// NTLM's three messages go over one connection to the proxy, which keeps it open between
// them; the scripted proxy fails the test if the third came on another.
TEST(OfficeProxyAuth, NtlmKeepsTheProxyConnectionAcrossTheHandshake) {
    // A challenge message: signature, type 2, no target name, Unicode, a server challenge and
    // a small target information block.
    std::string type2("NTLMSSP\0\x02\0\0\0\0\0\0\0\x30\0\0\0\x01\x02\x08\0" "ABCDEFGH" "\0\0\0\0\0\0\0\0"
                      "\x08\0\x08\0\x30\0\0\0",
                      48);
    type2 += std::string("\x02\0\x00\0\0\0\0\0", 8);  // an empty domain pair, then the end marker
    const std::string page = "denied";
    const std::string bare = "HTTP/1.1 407 Proxy Authentication Required\r\nProxy-Authenticate: NTLM\r\n"
                             "Content-Length: 6\r\nConnection: close\r\n\r\n" + page;
    const std::string withChallenge = "HTTP/1.1 407 Proxy Authentication Required\r\nProxy-Authenticate: NTLM " +
                                      EncodeBase64(type2) + "\r\nContent-Length: 6\r\nProxy-Connection: keep-alive\r\n\r\n" +
                                      page;
    for (const bool https : {false, true}) {
        SCOPED_TRACE(https ? "CONNECT" : "request");
        ScriptedServer proxy;
        proxy.Accept().ExpectRequest().Send(bare).Close();
        proxy.Accept().ExpectRequest().Send(withChallenge).ExpectRequest();
        if (https)
            proxy.Send("HTTP/1.0 403 Forbidden\r\n\r\n").Close();  // accepted, then no tunnel: enough here
        else
            proxy.Send(Reply200("fine")).Close();
        proxy.Start();
        FakeProxyServices os;
        os.Text.ProxyServer = "CORP%5Calice:pw@" + proxy.HostPort();
        ScopedOSServices use(os);
        TzelHttpSend http;
        TStringList reply;
        if (https) {
            EXPECT_THROW(http.GetText("https://origin.example/f", reply), ESocketError);
        } else {
            EXPECT_TRUE(http.GetText("http://origin.example/f", reply));
            EXPECT_EQ(reply.Text(), "fine\r\n");
        }
        const std::vector<std::string> requests = proxy.Requests();
        ASSERT_EQ(requests.size(), 3u);
        EXPECT_NE(requests[0].find("Proxy-Authorization: Basic "), std::string::npos) << "the settings' Basic first";
        const auto token = [](const std::string& r) {
            const size_t at = r.find("Proxy-Authorization: NTLM ");
            return at == std::string::npos ? std::string() : r.substr(at + 26, r.find("\r\n", at) - at - 26);
        };
        std::string type1, type3;
        ASSERT_TRUE(DecodeBase64Strict(token(requests[1]), type1)) << requests[1];
        ASSERT_TRUE(DecodeBase64Strict(token(requests[2]), type3)) << requests[2];
        EXPECT_EQ(type1.substr(0, 12), std::string("NTLMSSP\0\x01\0\0\0", 12));
        EXPECT_EQ(type3.substr(0, 12), std::string("NTLMSSP\0\x03\0\0\0", 12));
        EXPECT_EQ(requests[2].find("Proxy-Authorization: Basic"), std::string::npos) << "one answer per request";
    }
}

}  // namespace
