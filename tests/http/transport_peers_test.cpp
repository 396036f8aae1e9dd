// The transport against real programs on loopback: nginx over HTTP and HTTPS, tinyproxy as
// an HTTP proxy and as a CONNECT tunnel, and a socket without TLS.
#include <gtest/gtest.h>

#include <memory>

#include "http/http_transport.h"
#include "http/tls.h"
#include "tests/http/transport_helpers.h"
#include "tests/support/real_peers.h"
#include "tests/support/temp_dir.h"

using namespace http;

namespace {
std::string Pattern(size_t n) {
    std::string s(n, '\0');
    uint32_t x = 88172645u;
    for (char& c : s) {
        x ^= x << 13, x ^= x >> 17, x ^= x << 5;
        c = char(x);
    }
    return s;
}

class TransportPeers : public ::testing::Test {
protected:
    void SetUp() override {
        www.Write("small.txt", "hello from nginx\n");
        www.Write("big.bin", big);
        nginx = std::make_unique<NginxServer>(www.Path(), true);
        ASSERT_TRUE(nginx->Started()) << nginx->Error();
    }

    // Fetches both files with T and checks them.
    void FetchBoth(THTTPTransport& t, const std::string& base) {
        for (const auto& [path, want] :
             {std::pair<std::string, std::string>{"/small.txt", "hello from nginx\n"}, {"/big.bin", big}}) {
            SCOPED_TRACE(base + path);
            t.Clear();
            ASSERT_TRUE(t.HTTPMethod("GET", base + path)) << t.Sock->LastError << " " << t.Sock->LastErrorDesc;
            EXPECT_EQ(t.ResultCode, 200) << t.Headers.Text();
            EXPECT_EQ(t.Document.GetSize(), int64_t(want.size()));
            EXPECT_TRUE(BodyOf(t) == want);
        }
    }

    std::string HttpBase() const { return "http://127.0.0.1:" + std::to_string(nginx->HttpPort()); }
    std::string HttpsBase() const { return "https://127.0.0.1:" + std::to_string(nginx->HttpsPort()); }

    TempDir www;
    const std::string big = Pattern(700 * 1024 + 7);
    std::unique_ptr<NginxServer> nginx;
};

TEST_F(TransportPeers, DirectHttpAndHttps) {
    for (const std::string& base :
         {HttpBase(), HttpsBase(), "https://localhost:" + std::to_string(nginx->HttpsPort())}) {
        THTTPTransport t;
        t.Timeout = 10000;
        FetchBoth(t, base);
    }
    THTTPTransport t;
    t.Timeout = 10000;
    ASSERT_TRUE(t.HTTPMethod("GET", HttpBase() + "/missing"));
    EXPECT_EQ(t.ResultCode, 404) << "an error page is a successful exchange";
    EXPECT_EQ(t.ResultString, "Not Found");
}

TEST_F(TransportPeers, Http11KeepsTheTlsConnection) {
    THTTPTransport t;
    t.Timeout = 10000;
    t.Protocol = "1.1";
    int connects = 0;
    t.Sock->OnStatus = [&](TTCPClientSocket&, TSocketStatusReason r, const std::string&) {
        connects += r == SR_Connect;
    };
    FetchBoth(t, HttpsBase());
    EXPECT_EQ(connects, 1);
}

TEST_F(TransportPeers, ThroughTinyproxy) {
    TinyProxy proxy;
    ASSERT_TRUE(proxy.Started()) << proxy.Error();
    THTTPTransport t;
    t.Timeout = 10000;
    t.ProxyHost = "127.0.0.1";
    t.ProxyPort = std::to_string(proxy.Port());
    FetchBoth(t, HttpBase());
    // tinyproxy logs each request line it was sent: the absolute form.
    EXPECT_NE(proxy.Log().find("GET " + HttpBase() + "/big.bin HTTP/1.0"), std::string::npos) << proxy.Log();
    EXPECT_TRUE(t.Sock->HTTPTunnelIP.empty()) << "plain HTTP is not tunnelled";
}

TEST_F(TransportPeers, HttpsThroughATunnel) {
    const struct {
        const char* name;
        TinyProxy::TOptions options;
        std::string user, pass;
        bool accepted;
    } cases[] = {
        {"open tunnel", {{nginx->HttpsPort()}, "", "", false}, "", "", true},
        {"tunnel with credentials", {{nginx->HttpsPort()}, "pu", "pp", false}, "pu", "pp", true},
        {"403: CONNECT denied", {{}, "", "", true}, "", "", false},
        {"407: credentials missing", {{nginx->HttpsPort()}, "pu", "pp", false}, "", "", false},
        {"407: credentials wrong", {{nginx->HttpsPort()}, "pu", "pp", false}, "pu", "nope", false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        TinyProxy proxy(c.options);
        ASSERT_TRUE(proxy.Started()) << proxy.Error();
        THTTPTransport t;
        t.Timeout = 10000;
        t.ProxyHost = "127.0.0.1";
        t.ProxyPort = std::to_string(proxy.Port());
        t.ProxyUser = c.user;
        t.ProxyPass = c.pass;
        if (c.accepted) {
            FetchBoth(t, HttpsBase());
            EXPECT_TRUE(t.Sock->HTTPTunnel);
        } else {
            EXPECT_FALSE(t.HTTPMethod("GET", HttpsBase() + "/small.txt"));
            EXPECT_EQ(t.Sock->LastError, 10061) << proxy.Log();
            EXPECT_EQ(t.Sock->LastErrorDesc, "Connection refused");
            EXPECT_FALSE(t.Sock->HTTPTunnel);
            EXPECT_TRUE(t.AliveHost.empty());
        }
    }
}

TEST_F(TransportPeers, HttpsWithoutTls) {
    for (const bool raise : {false, true}) {
        SCOPED_TRACE(raise ? "RaiseExcept on" : "RaiseExcept off");
        ForceTLSNone(true);
        THTTPTransport t;  // its socket takes the plug-in class now in force
        ForceTLSNone(false);
        t.Timeout = 10000;
        t.Sock->RaiseExcept = raise;
        try {
            EXPECT_FALSE(t.HTTPMethod("GET", HttpsBase() + "/small.txt"));
            EXPECT_FALSE(raise) << "no exception";
            EXPECT_EQ(t.Sock->LastError, 10091);
            EXPECT_EQ(t.Sock->LastErrorDesc, "SSL/TLS support is not compiled!");
            EXPECT_TRUE(t.AliveHost.empty());
        } catch (const ESocketError& e) {
            EXPECT_TRUE(raise);
            EXPECT_EQ(std::string(e.what()), "TCP/IP Socket error 10091: SSL/TLS support is not compiled!");
        }
        // Plain HTTP still works on the same object.
        t.Sock->RaiseExcept = false;
        t.Clear();
        ASSERT_TRUE(t.HTTPMethod("GET", HttpBase() + "/small.txt"));
        EXPECT_EQ(BodyOf(t), "hello from nginx\n");
    }
}
}  // namespace
