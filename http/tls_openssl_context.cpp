#include "http/tls_openssl_context.h"

#include <openssl/err.h>
#include <openssl/x509_vfy.h>

#include <atomic>
#include <fstream>
#include <iterator>
#include <map>
#include <memory>
#include <mutex>

#include "http/tls_openssl_trust_file.h"

namespace http {

namespace {
// Bounds the sessions one context keeps: one per host and port the run talks to.
constexpr size_t kMaxSessions = 256;

struct TSessionFree {
    void operator()(SSL_SESSION* s) const { SSL_SESSION_free(s); }
};
using TSession = std::unique_ptr<SSL_SESSION, TSessionFree>;

struct TRunContext {
    SSL_CTX* Ctx = nullptr;
    std::map<std::string, TSession> Sessions;
};

// The contexts live as long as the process: connections of the run may still hold them
// while static objects go away, and the OS takes back the memory.
std::mutex g_lock;
std::map<std::string, TRunContext*>& Contexts() {
    static auto* contexts = new std::map<std::string, TRunContext*>;
    return *contexts;
}

std::atomic<bool> g_eagerTrustFile{false};

int CtxIndex() {
    static const int index = SSL_CTX_get_ex_new_index(0, nullptr, nullptr, nullptr, nullptr);
    return index;
}
// The key of an SSL's sessions lives in the plug-in that made the SSL, which outlives it.
int KeyIndex() {
    static const int index = SSL_get_ex_new_index(0, nullptr, nullptr, nullptr, nullptr);
    return index;
}

TRunContext* RunContextOf(SSL* Ssl) {
    return static_cast<TRunContext*>(SSL_CTX_get_ex_data(SSL_get_SSL_CTX(Ssl), CtxIndex()));
}

// Called by the library for every session the server hands out (after the handshake in
// TLS 1.3, possibly more than once): the newest one is offered next time.
int NewSession(SSL* Ssl, SSL_SESSION* Session) {
    const auto* key = static_cast<const std::string*>(SSL_get_ex_data(Ssl, KeyIndex()));
    TRunContext* run = RunContextOf(Ssl);
    if (!key || key->empty() || !run || !SSL_SESSION_is_resumable(Session)) return 0;
    // Only a session whose peer passed every check is worth keeping.
    if ((SSL_get_verify_mode(Ssl) & SSL_VERIFY_PEER) && SSL_get_verify_result(Ssl) != X509_V_OK) return 0;
    std::lock_guard<std::mutex> hold(g_lock);
    if (run->Sessions.size() >= kMaxSessions && !run->Sessions.count(*key)) run->Sessions.erase(run->Sessions.begin());
    run->Sessions[*key].reset(Session);
    return 1;  // the reference is ours now
}

std::string FileContents(const std::string& Name) {
    std::ifstream in(Name, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

SSL_CTX* NewContext(bool VerifyCert, const std::string& CAFile, std::string& Error) {
    ERR_clear_error();
    SSL_CTX* ctx = SSL_CTX_new(TLS_client_method());
    if (!ctx) {
        Error.clear();  // the library's error queue says why
        return nullptr;
    }
    // A peer that closes without close_notify ends the stream like one that sends it: reads of
    // undeclared length end at the close, and a short body of declared length is still caught
    // by its count.
    SSL_CTX_set_options(ctx, SSL_OP_IGNORE_UNEXPECTED_EOF);
    SSL_CTX_set_mode(ctx, SSL_MODE_ACCEPT_MOVING_WRITE_BUFFER);
    // TLS 1.3: AES-128-GCM first, as browsers order it. Every suite offered is one the library
    // offers by default; the 128-bit key takes ten AES rounds to the 256-bit key's fourteen, on
    // both sides of a large download.
    if (SSL_CTX_set_ciphersuites(ctx, "TLS_AES_128_GCM_SHA256:TLS_AES_256_GCM_SHA384:TLS_CHACHA20_POLY1305_SHA256") != 1) {
        SSL_CTX_free(ctx);
        Error.clear();
        return nullptr;
    }
    if (VerifyCert) {
        const bool eager = g_eagerTrustFile;
        if (eager) SSL_CTX_set_default_verify_paths(ctx);
        if (!CAFile.empty() && SSL_CTX_load_verify_locations(ctx, CAFile.c_str(), nullptr) != 1) {
            ERR_clear_error();
            SSL_CTX_free(ctx);
            Error = "The certificate authority file " + CAFile + " cannot be loaded";
            return nullptr;
        }
        // After CAFile: the lazy store must know the subjects CAFile already holds.
        if (!eager && !AddDefaultTrust(SSL_CTX_get_cert_store(ctx))) {
            SSL_CTX_free(ctx);
            Error.clear();
            return nullptr;
        }
    }
    SSL_CTX_set_verify(ctx, VerifyCert ? SSL_VERIFY_PEER : SSL_VERIFY_NONE, nullptr);
    SSL_CTX_set_session_cache_mode(ctx, SSL_SESS_CACHE_CLIENT | SSL_SESS_CACHE_NO_INTERNAL_STORE);
    SSL_CTX_sess_set_new_cb(ctx, NewSession);
    return ctx;
}
}  // namespace

SSL_CTX* RunClientContext(bool VerifyCert, const std::string& CAFile, std::string& Error) {
    // The CA file's contents belong to the key: a file replaced during the run is read again.
    // So does the default CA file's name, which the environment gives.
    const std::string key = !VerifyCert ? std::string("unverified")
                                        : "verified\n" + std::string(g_eagerTrustFile ? "eager " : "lazy ") +
                                              DefaultTrustFileName() + "\n" + CAFile + "\n" +
                                              (CAFile.empty() ? "" : FileContents(CAFile));
    std::lock_guard<std::mutex> hold(g_lock);
    auto& contexts = Contexts();
    if (auto found = contexts.find(key); found != contexts.end()) return found->second->Ctx;
    SSL_CTX* ctx = NewContext(VerifyCert, CAFile, Error);
    if (!ctx) return nullptr;
    auto* run = new TRunContext{ctx, {}};
    SSL_CTX_set_ex_data(ctx, CtxIndex(), run);
    contexts.emplace(key, run);
    return ctx;
}

void LoadDefaultTrustFileEagerly(bool Eager) { g_eagerTrustFile = Eager; }

void ResumeSessionsOf(SSL* Ssl, const std::string& Key) {
    if (Key.empty()) return;
    SSL_set_ex_data(Ssl, KeyIndex(), const_cast<std::string*>(&Key));
    TRunContext* run = RunContextOf(Ssl);
    if (!run) return;
    std::lock_guard<std::mutex> hold(g_lock);
    if (auto found = run->Sessions.find(Key); found != run->Sessions.end()) SSL_set_session(Ssl, found->second.get());
}

void ForgetSession(SSL* Ssl, const std::string& Key) {
    TRunContext* run = RunContextOf(Ssl);
    if (!run || Key.empty()) return;
    std::lock_guard<std::mutex> hold(g_lock);
    run->Sessions.erase(Key);
}

}  // namespace http
