// TLS against real peers: nginx over HTTPS (certificate made at test time), a CONNECT tunnel
// through tinyproxy, refused tunnels, and the plug-in without TLS.
#include <gtest/gtest.h>

#include "http/tcp_socket.h"
#include "tests/http/socket_test_util.h"
#include "tests/support/real_peers.h"
#include "tests/support/temp_dir.h"

using namespace http;

namespace {
class SocketTls : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        root_ = new TempDir;
        root_->Write("hello.txt", "hello over TLS\n");
        root_->Write("big.bin", std::string(300000, 'b'));
        nginx_ = new NginxServer(root_->Path(), true);
    }
    static void TearDownTestSuite() {
        delete nginx_;
        delete root_;
    }
    void SetUp() override { ASSERT_TRUE(nginx_->Started()) << nginx_->Error(); }

    // Sends a GET for Path and reads the reply up to the server's close.
    static std::string Get(TTCPClientSocket& s, const std::string& path) {
        s.SendString("GET " + path + " HTTP/1.0\r\nHost: localhost\r\n\r\n");
        std::string reply;
        while (s.LastError == 0) reply += s.RecvPacket(5000);
        return reply;
    }

    static TempDir* root_;
    static NginxServer* nginx_;
};
TempDir* SocketTls::root_ = nullptr;
NginxServer* SocketTls::nginx_ = nullptr;
}  // namespace

TEST_F(SocketTls, RequestToNginxOverTls) {
    TTCPClientSocket s;
    TStatusLog log;
    log.Attach(s);
    s.ConvertLineEnd = true;
    s.SSL().SNIHost = "localhost";
    s.Connect("127.0.0.1", Port(nginx_->HttpsPort()));
    ASSERT_EQ(s.LastError, 0);
    ASSERT_TRUE(s.StartTLS()) << s.LastErrorDesc;
    EXPECT_TRUE(s.SSL().SSLEnabled);
    s.SendString("GET /hello.txt HTTP/1.0\r\nHost: localhost\r\n\r\n");
    EXPECT_EQ(s.RecvString(5000), "HTTP/1.1 200 OK");
    std::string line;
    while (!(line = s.RecvString(5000)).empty()) {
    }
    EXPECT_EQ(s.LastError, 0);
    EXPECT_EQ(s.RecvExact(15, 5000), "hello over TLS\n");
    // The server's close ends the stream as a closed connection, not as a TLS failure.
    EXPECT_EQ(s.RecvPacket(5000), "");
    EXPECT_EQ(s.LastError, 10054);
    s.CloseSocket();
    EXPECT_FALSE(s.SSL().SSLEnabled);
    EXPECT_EQ(log.Events.back(), "SocketClose:");
}

TEST_F(SocketTls, LargeBodyComesWholeAcrossManyRecords) {
    TTCPClientSocket s;
    s.Connect("127.0.0.1", Port(nginx_->HttpsPort()));
    ASSERT_TRUE(s.StartTLS()) << s.LastErrorDesc;
    const std::string reply = Get(s, "/big.bin");
    EXPECT_EQ(s.LastError, 10054);
    ASSERT_GT(reply.size(), 300000u);
    EXPECT_EQ(reply.substr(reply.size() - 300000), std::string(300000, 'b'));
}

TEST_F(SocketTls, TunnelThroughTinyproxyToNginx) {
    TinyProxy proxy({{nginx_->HttpsPort()}, "", "", false});
    ASSERT_TRUE(proxy.Started()) << proxy.Error();
    TTCPClientSocket s;
    s.HTTPTunnelIP = "127.0.0.1";
    s.HTTPTunnelPort = Port(proxy.Port());
    s.Connect("127.0.0.1", Port(nginx_->HttpsPort()));
    ASSERT_EQ(s.LastError, 0) << s.LastErrorDesc << "\n" << proxy.Log();
    EXPECT_TRUE(s.HTTPTunnel);
    ASSERT_TRUE(s.StartTLS()) << s.LastErrorDesc;
    const std::string reply = Get(s, "/hello.txt");
    EXPECT_EQ(reply.substr(0, 15), "HTTP/1.1 200 OK");
    EXPECT_EQ(reply.substr(reply.size() - 15), "hello over TLS\n");
}

TEST_F(SocketTls, TunnelWithProxyCredentials) {
    TinyProxy proxy({{nginx_->HttpsPort()}, "agent", "s3cret", false});
    ASSERT_TRUE(proxy.Started()) << proxy.Error();
    TTCPClientSocket s;
    s.HTTPTunnelIP = "127.0.0.1";
    s.HTTPTunnelPort = Port(proxy.Port());
    s.HTTPTunnelUser = "agent";
    s.HTTPTunnelPass = "s3cret";
    s.Connect("127.0.0.1", Port(nginx_->HttpsPort()));
    ASSERT_EQ(s.LastError, 0) << s.LastErrorDesc << "\n" << proxy.Log();
    ASSERT_TRUE(s.StartTLS()) << s.LastErrorDesc;
    EXPECT_EQ(Get(s, "/hello.txt").substr(0, 15), "HTTP/1.1 200 OK");
}

TEST_F(SocketTls, RefusedTunnels) {
    struct {
        const char* Name;
        TinyProxy::TOptions Proxy;
        std::string User, Pass;
        const char* Status;  // what the proxy answered
    } const cases[] = {
        {"CONNECT not allowed", {{}, "", "", true}, "", "", " 403 "},
        {"no credentials", {{nginx_->HttpsPort()}, "agent", "s3cret", false}, "", "", " 407 "},
        // tinyproxy 1.11 answers credentials it does not accept with 401, not 407.
        {"wrong credentials", {{nginx_->HttpsPort()}, "agent", "s3cret", false}, "agent", "nope", " 401 "},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.Name);
        TinyProxy proxy(c.Proxy);
        ASSERT_TRUE(proxy.Started()) << proxy.Error();
        TTCPClientSocket s;
        std::string answer;
        s.OnMonitor = [&answer](TTCPClientSocket&, bool writing, const void* buf, int len) {
            if (!writing) answer.append(static_cast<const char*>(buf), size_t(len));
        };
        s.HTTPTunnelIP = "127.0.0.1";
        s.HTTPTunnelPort = Port(proxy.Port());
        s.HTTPTunnelUser = c.User;
        s.HTTPTunnelPass = c.Pass;
        s.RaiseExcept = true;
        try {
            s.Connect("127.0.0.1", Port(nginx_->HttpsPort()));
            ADD_FAILURE() << "tunnel accepted";
        } catch (const ESocketError& e) {
            EXPECT_STREQ(e.what(), "TCP/IP Socket error 10061: Connection refused");
        }
        EXPECT_FALSE(s.HTTPTunnel);
        EXPECT_EQ(answer.rfind("HTTP/1.", 0), 0u) << answer;
        EXPECT_NE(answer.substr(0, answer.find('\n')).find(c.Status), std::string::npos) << answer;
    }
}

TEST_F(SocketTls, HandshakeWithAPlainServerFailsWithTheLibraryText) {
    TTCPClientSocket s;
    s.ConnectionTimeout = 3000;
    TStatusLog log;
    log.Attach(s);
    s.Connect("127.0.0.1", Port(nginx_->HttpPort()));
    ASSERT_EQ(s.LastError, 0);
    EXPECT_FALSE(s.StartTLS());
    EXPECT_EQ(s.LastError, 10091);
    // The library's own text, not the generic one of 10091.
    EXPECT_NE(s.LastErrorDesc, "Network subsystem is unusable");
    EXPECT_NE(s.LastErrorDesc.find(':'), std::string::npos) << s.LastErrorDesc;
    EXPECT_EQ(log.Events.back(), "Error:10091," + s.LastErrorDesc);
}

TEST_F(SocketTls, WithoutTlsSupportEveryHandshakeFails) {
    ForceTLSNone(true);
    TTCPClientSocket s;
    ForceTLSNone(false);  // only sockets made while forced are affected
    s.Connect("127.0.0.1", Port(nginx_->HttpsPort()));
    ASSERT_EQ(s.LastError, 0);
    s.RaiseExcept = true;
    try {
        s.StartTLS();
        ADD_FAILURE() << "handshake succeeded";
    } catch (const ESocketError& e) {
        EXPECT_STREQ(e.what(), "TCP/IP Socket error 10091: SSL/TLS support is not compiled!");
        EXPECT_EQ(e.ErrorCode, 10091);
    }
    EXPECT_FALSE(s.SSL().SSLEnabled);
    TTCPClientSocket later;
    later.Connect("127.0.0.1", Port(nginx_->HttpsPort()));
    EXPECT_TRUE(later.StartTLS()) << later.LastErrorDesc;
}

TEST(SocketTlsOpenssl, CipherListIsPassedToTheLibrary) {
    OpensslServer server({"-www", "-tls1_2"});
    ASSERT_TRUE(server.Started()) << server.Error();
    {
        TTCPClientSocket s;
        s.SSL().Ciphers = "no-such-cipher";
        s.Connect("127.0.0.1", Port(server.Port()));
        EXPECT_FALSE(s.StartTLS());
        EXPECT_EQ(s.LastError, 10091);
        EXPECT_NE(s.LastErrorDesc.find("no cipher match"), std::string::npos) << s.LastErrorDesc;
    }
    {
        TTCPClientSocket s;
        s.SSL().Ciphers = "ECDHE-ECDSA-CHACHA20-POLY1305";  // not the library's first choice
        s.Connect("127.0.0.1", Port(server.Port()));
        ASSERT_TRUE(s.StartTLS()) << s.LastErrorDesc;
        s.SendString("GET / HTTP/1.0\r\n\r\n");
        std::string reply;
        while (s.LastError == 0) reply += s.RecvPacket(5000);
        EXPECT_NE(reply.find("Cipher is ECDHE-ECDSA-CHACHA20-POLY1305"), std::string::npos) << reply;
    }
}
