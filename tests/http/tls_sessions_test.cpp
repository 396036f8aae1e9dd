// TLS sessions of a run: the second connection to a host and port resumes the first one's
// session, and no session ever lets a connection skip a check it would otherwise fail: not
// across host names, not across verification settings, and not after the server's
// certificate changed. The peer is openssl s_server, which resumes whatever it is offered.
#include <gtest/gtest.h>

#include <memory>

#include "http/tcp_socket.h"
#include "tests/http/socket_test_util.h"
#include "tests/support/real_peers.h"
#include "tests/support/temp_dir.h"
#include "tests/support/test_keys.h"

namespace {
class TlsSessions : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(MakeTestCA(dir.Path(), ca, error)) << error;
        ASSERT_TRUE(MakeServerCertificate(dir.Path(), "good", ca, TCertKind::SignedByCA, good, error)) << error;
        server = std::make_unique<OpensslServer>(std::vector<std::string>{"-www"}, &good);
        ASSERT_TRUE(server->Started()) << server->Error();
    }

    struct Step {
        const char* name;
        std::string host;
        bool verify;
        bool withCA;
        std::string refusal;  // empty: the connection must succeed
        bool resumed;
    };
    // One connection as the step says; a successful one reads a reply to its end, which is
    // when a TLS 1.3 server hands out its session.
    void Connect(const Step& step) {
        SCOPED_TRACE(step.name);
        TTCPClientSocket s;
        s.SSL().VerifyCert = step.verify;
        s.SSL().CAFile = step.withCA ? ca.CertFile : "";
        s.SSL().SNIHost = step.host;
        s.Connect(step.host, Port(server->Port()));
        ASSERT_EQ(s.LastError, 0) << s.LastErrorDesc;
        const bool ok = s.StartTLS();
        if (!step.refusal.empty()) {
            EXPECT_FALSE(ok);
            EXPECT_EQ(s.LastErrorDesc, step.refusal);
            return;
        }
        ASSERT_TRUE(ok) << s.LastErrorDesc;
        EXPECT_EQ(s.SSL().Resumed, step.resumed);
        s.SendString("GET / HTTP/1.0\r\n\r\n");
        std::string reply;
        while (s.LastError == 0) reply += s.RecvPacket(5000);
        EXPECT_NE(reply.find("200"), std::string::npos) << reply;
    }

    TempDir dir{"zelsessions"};
    TestCA ca;
    TestCertificate good;
    std::unique_ptr<OpensslServer> server;
    std::string error;
};

TEST_F(TlsSessions, ASessionServesOnlyTheHostAndTheChecksItWasMadeUnder) {
    const Step steps[] = {
        {"unchecked first", "127.0.0.1", false, false, "", false},
        {"unchecked again", "127.0.0.1", false, false, "", true},
        {"checked without the CA: the unchecked session is not offered", "127.0.0.1", true, false,
         "The certificate of 127.0.0.1 is not issued by a trusted certificate authority", false},
        {"checked with the CA", "127.0.0.1", true, true, "", false},
        {"checked with the CA again", "127.0.0.1", true, true, "", true},
        {"the same server by another name", "localhost", true, true,
         "The certificate of localhost is issued for another host name", false},
        {"the first name once more", "127.0.0.1", true, true, "", true},
    };
    for (const Step& step : steps) Connect(step);
}

TEST_F(TlsSessions, ACertificateChangedBetweenConnectionsIsCheckedAgain) {
    Connect({"first", "127.0.0.1", true, true, "", false});
    Connect({"resumed", "127.0.0.1", true, true, "", true});
    const int port = server->Port();
    TestCertificate selfSigned;
    ASSERT_TRUE(MakeServerCertificate(dir.Path(), "self", ca, TCertKind::SelfSigned, selfSigned, error)) << error;
    server.reset();
    server = std::make_unique<OpensslServer>(std::vector<std::string>{"-www"}, &selfSigned, port);
    ASSERT_TRUE(server->Started()) << server->Error();
    Connect({"after the change", "127.0.0.1", true, true, "The certificate of 127.0.0.1 is self-signed and not trusted",
             false});
}
}  // namespace
