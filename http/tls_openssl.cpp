#include <openssl/bio.h>
#include <openssl/err.h>
#include <openssl/ssl.h>

#include <cerrno>
#include <cstdint>
#include <cstring>

#include "http/socket_io.h"
#include "http/tls_openssl_context.h"
#include "http/tls_openssl_verify.h"
#include "http/tls_plugins.h"

using namespace http;

namespace {
struct TSslFree {
    void operator()(SSL* s) const { SSL_free(s); }
};

// OpenSSL's own socket BIO writes with write(), which raises SIGPIPE on a connection the peer
// has closed. This one goes through the socket layer's send, which never does.
int BioWrite(BIO* b, const char* data, int len) {
    BIO_clear_retry_flags(b);
    int error = 0;
    const long n = RawSend(int(reinterpret_cast<intptr_t>(BIO_get_data(b))), data, size_t(len), error);
    if (n >= 0) return int(n);
    if (error == wsWouldBlock) BIO_set_retry_write(b);
    return -1;
}

int BioRead(BIO* b, char* data, int len) {
    BIO_clear_retry_flags(b);
    int error = 0;
    const long n = RawRecv(int(reinterpret_cast<intptr_t>(BIO_get_data(b))), data, size_t(len), error);
    // The library asks BIO_CTRL_EOF whether a failed read met the peer's close: only then does
    // SSL_OP_IGNORE_UNEXPECTED_EOF take a close without close_notify as the end of the stream.
    if (n == 0 && len > 0) BIO_set_flags(b, BIO_FLAGS_IN_EOF);
    if (n >= 0) return int(n);
    if (error == wsWouldBlock) BIO_set_retry_read(b);
    return -1;
}

long BioCtrl(BIO* b, int cmd, long, void*) {
    if (cmd == BIO_CTRL_EOF) return BIO_test_flags(b, BIO_FLAGS_IN_EOF) != 0;
    return cmd == BIO_CTRL_FLUSH ? 1 : 0;
}

int BioCreate(BIO* b) {
    BIO_set_init(b, 1);
    return 1;
}

BIO_METHOD* SocketBioMethod() {
    static BIO_METHOD* method = [] {
        BIO_METHOD* m = BIO_meth_new(BIO_get_new_index() | BIO_TYPE_SOURCE_SINK, "zel socket");
        if (m) {
            BIO_meth_set_write(m, BioWrite);
            BIO_meth_set_read(m, BioRead);
            BIO_meth_set_ctrl(m, BioCtrl);
            BIO_meth_set_create(m, BioCreate);
        }
        return m;
    }();
    return method;
}
}  // namespace

struct TTLSOpenSSL3::State {
    std::string sessionKey;  // declared first: the connection refers to it to the end
    std::unique_ptr<SSL, TSslFree> ssl;
};

TTLSOpenSSL3::TTLSOpenSSL3() : state_(std::make_unique<State>()) {}
TTLSOpenSSL3::~TTLSOpenSSL3() = default;

bool TTLSOpenSSL3::Available() { return OPENSSL_init_ssl(0, nullptr) == 1 && SocketBioMethod() != nullptr; }

namespace {
// The library's text for a failed call; call right after SSL_get_error.
std::string ErrorText(int sslError, int savedErrno) {
    const unsigned long e = ERR_get_error();
    ERR_clear_error();
    if (e != 0) {
        char buf[256];
        ERR_error_string_n(e, buf, sizeof buf);
        return buf;
    }
    if (sslError == SSL_ERROR_SYSCALL)
        return savedErrno != 0 ? std::string("SSL_ERROR_SYSCALL: ") + std::strerror(savedErrno)
                               : "SSL_ERROR_SYSCALL: unexpected end of stream";
    return "SSL error " + std::to_string(sslError);
}
}  // namespace

namespace {
// Drives a non-blocking handshake to its end. 0 when it completed; otherwise the SSL error
// code, with WaitError set when the wait for the peer ran out (10060) or was stopped (10053).
int RunHandshake(SSL* ssl, int Fd, int TimeoutMs, const std::atomic<bool>* Stop, int& WaitError, int& SavedErrno) {
    const int limit = TimeoutMs > 0 ? TimeoutMs : -1;
    const int64_t deadline = MonotonicMs() + (limit > 0 ? limit : 0);
    for (;;) {
        ERR_clear_error();
        errno = 0;
        const int r = SSL_connect(ssl);
        if (r == 1) return 0;
        const int code = SSL_get_error(ssl, r);
        SavedErrno = errno;
        if (code != SSL_ERROR_WANT_READ && code != SSL_ERROR_WANT_WRITE) return code;
        int error = 0;
        const TWaitResult waited =
            WaitSocket(Fd, code == SSL_ERROR_WANT_WRITE, RemainingMs(deadline, limit), Stop, error);
        if (waited != TWaitResult::Ready) {
            WaitError = WaitErrorCode(waited, error);
            return SSL_ERROR_SYSCALL;
        }
    }
}
}  // namespace

bool TTLSOpenSSL3::Connect(int Fd, int TimeoutMs, const std::atomic<bool>* Stop) {
    SSLEnabled = false;
    Resumed = false;
    LastError = 0;
    WaitError = 0;
    LastErrorDesc.clear();
    state_ = std::make_unique<State>();
    auto fail = [this](int code, int savedErrno) {
        LastError = code;
        LastErrorDesc = ErrorText(code, savedErrno);
        state_ = std::make_unique<State>();
        return false;
    };
    ERR_clear_error();
    std::string why;
    SSL_CTX* ctx = RunClientContext(VerifyCert, CAFile, why);
    if (!ctx) {
        fail(SSL_ERROR_SSL, 0);
        if (!why.empty()) LastErrorDesc = why;
        return false;
    }
    state_->ssl.reset(SSL_new(ctx));
    if (!state_->ssl) return fail(SSL_ERROR_SSL, 0);
    SSL* ssl = state_->ssl.get();
    if (!Ciphers.empty() && SSL_set_cipher_list(ssl, Ciphers.c_str()) != 1) return fail(SSL_ERROR_SSL, 0);
    BIO* bio = BIO_new(SocketBioMethod());
    if (!bio) return fail(SSL_ERROR_SSL, 0);
    BIO_set_data(bio, reinterpret_cast<void*>(intptr_t(Fd)));
    SSL_set_bio(ssl, bio, bio);
    // Server name indication carries names only; an address literal is not allowed in it.
    if (!SNIHost.empty() && !IsIPLiteral(SNIHost)) SSL_set_tlsext_host_name(ssl, SNIHost.c_str());
    if (VerifyCert && !SetUpPeerVerification(ssl, SNIHost, why)) {
        fail(SSL_ERROR_SSL, 0);
        LastErrorDesc = why;
        return false;
    }
    // A session is resumed only where everything it was checked against is the same.
    if (!Peer.empty()) state_->sessionKey = Peer + "\n" + SNIHost + "\n" + Ciphers;
    ResumeSessionsOf(ssl, state_->sessionKey);

    int savedErrno = 0;
    if (const int code = RunHandshake(ssl, Fd, TimeoutMs, Stop, WaitError, savedErrno)) {
        ForgetSession(ssl, state_->sessionKey);
        if (WaitError == 0) {
            const std::string refused = VerifyCert ? PeerVerificationFailure(ssl, SNIHost) : "";
            fail(code, savedErrno);
            if (!refused.empty()) LastErrorDesc = refused;
            return false;
        }
        ERR_clear_error();
        LastError = code;
        LastErrorDesc = HandshakeWaitText(WaitError);
        state_ = std::make_unique<State>();
        return false;
    }
    Resumed = SSL_session_reused(ssl) == 1;
    SSLEnabled = true;
    return true;
}

int TTLSOpenSSL3::Send(const void* Buffer, int Len) {
    SSL* ssl = state_->ssl.get();
    if (!ssl) return -1;
    ERR_clear_error();
    errno = 0;
    const int r = SSL_write(ssl, Buffer, Len);
    if (r > 0) return r;
    const int code = SSL_get_error(ssl, r);
    if (code == SSL_ERROR_WANT_READ) return kWantRead;
    if (code == SSL_ERROR_WANT_WRITE) return kWantWrite;
    const int savedErrno = errno;
    LastError = code;
    LastErrorDesc = ErrorText(code, savedErrno);
    return -1;
}

int TTLSOpenSSL3::Recv(void* Buffer, int Len) {
    SSL* ssl = state_->ssl.get();
    if (!ssl) return -1;
    ERR_clear_error();
    errno = 0;
    const int r = SSL_read(ssl, Buffer, Len);
    if (r > 0) return r;
    const int code = SSL_get_error(ssl, r);
    if (code == SSL_ERROR_WANT_READ) return kWantRead;
    if (code == SSL_ERROR_WANT_WRITE) return kWantWrite;
    if (code == SSL_ERROR_ZERO_RETURN) return 0;
    const int savedErrno = errno;
    LastError = code;
    LastErrorDesc = ErrorText(code, savedErrno);
    return -1;
}

int TTLSOpenSSL3::WaitingData() { return state_->ssl ? SSL_pending(state_->ssl.get()) : 0; }

void TTLSOpenSSL3::Shutdown() {
    // One close_notify, without waiting for the peer's: the handle is closed right after.
    if (state_->ssl && SSLEnabled) SSL_shutdown(state_->ssl.get());
    ERR_clear_error();
    state_ = std::make_unique<State>();
    SSLEnabled = false;
}

namespace http {
bool SystemTLSAvailable() { return TTLSOpenSSL3::Available(); }
std::unique_ptr<TTLSPlugin> CreateSystemTLSPlugin() { return std::make_unique<TTLSOpenSSL3>(); }
}  // namespace http
