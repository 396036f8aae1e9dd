// A server that ends a body of undeclared length by closing TCP without a TLS close_notify:
// the body ends there, as it does when the close_notify comes (and as Schannel has it).
#include <gtest/gtest.h>
#include <openssl/ssl.h>

#include <memory>

#include "http/http_transport.h"
#include "tests/support/real_peers.h"
#include "tests/support/scripted_server.h"
#include "tests/support/temp_dir.h"

namespace {

struct TCtxFree {
    void operator()(SSL_CTX* c) const { SSL_CTX_free(c); }
};

TEST(TlsEndOfStream, ACloseWithoutCloseNotifyEndsABodyOfUndeclaredLength) {
    TempDir dir;
    TestCertificate cert;
    std::string error;
    ASSERT_TRUE(MakeTestCertificate(dir.Path(), cert, error)) << error;
    std::unique_ptr<SSL_CTX, TCtxFree> ctx(SSL_CTX_new(TLS_server_method()));
    ASSERT_TRUE(ctx);
    ASSERT_EQ(SSL_CTX_use_certificate_file(ctx.get(), cert.CertFile.c_str(), SSL_FILETYPE_PEM), 1);
    ASSERT_EQ(SSL_CTX_use_PrivateKey_file(ctx.get(), cert.KeyFile.c_str(), SSL_FILETYPE_PEM), 1);

    for (const bool closeNotify : {true, false}) {
        SCOPED_TRACE(closeNotify ? "with close_notify" : "TCP close only");
        ScriptedServer server;
        server.Accept()
            .Custom([&](int fd) {
                SSL* ssl = SSL_new(ctx.get());
                SSL_set_fd(ssl, fd);
                if (SSL_accept(ssl) == 1) {
                    std::string request;
                    char buf[1024];
                    while (request.find("\r\n\r\n") == std::string::npos) {
                        const int n = SSL_read(ssl, buf, sizeof buf);
                        if (n <= 0) break;
                        request.append(buf, size_t(n));
                    }
                    const std::string reply = "HTTP/1.0 200 OK\r\n\r\nthe whole body";
                    SSL_write(ssl, reply.data(), int(reply.size()));
                    if (closeNotify) SSL_shutdown(ssl);
                }
                SSL_free(ssl);
            })
            .Close()
            .Start();
        THTTPTransport t;
        t.Sock->SSL().VerifyCert = false;
        EXPECT_TRUE(t.HTTPMethod("GET", "https://127.0.0.1:" + std::to_string(server.Port()) + "/"))
            << t.Sock->LastError << " " << t.Sock->LastErrorDesc;
        EXPECT_EQ(t.ResultCode, 200);
        EXPECT_EQ(t.Document.Bytes(), "the whole body");
    }
}

}  // namespace
