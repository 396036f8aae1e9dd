// Windows headers depend on their order.
// clang-format off
#include <winsock2.h>
#define SECURITY_WIN32
#include <windows.h>
#include <schannel.h>
#include <security.h>
#include <sspi.h>
// clang-format on

#include <cstring>
#include <mutex>
#include <string>
#include <utility>
#include <vector>

#include "http/socket_io.h"
#include "http/tls_plugins.h"
#include "http/tls_schannel_verify_win.h"
#include "platform/os_error.h"
#include "platform/wide_text_win.h"

using namespace platform;

namespace http {

namespace {
// A security context that frees itself.
struct TContext {
    CtxtHandle Handle{};
    bool Valid = false;
    TContext() = default;
    TContext(const TContext&) = delete;
    TContext& operator=(const TContext&) = delete;
    ~TContext() {
        if (Valid) DeleteSecurityContext(&Handle);
    }
};

constexpr DWORD kRequest = ISC_REQ_SEQUENCE_DETECT | ISC_REQ_REPLAY_DETECT | ISC_REQ_CONFIDENTIALITY |
                           ISC_REQ_ALLOCATE_MEMORY | ISC_REQ_STREAM | ISC_REQ_EXTENDED_ERROR |
                           ISC_REQ_MANUAL_CRED_VALIDATION;

std::string StatusText(SECURITY_STATUS s) { return SystemErrorText(int(s)) + " (" + std::to_string(long(s)) + ")"; }

// A client credential of the Schannel package. The chain and the name are checked by us, after
// the handshake, when asked for.
SECURITY_STATUS AcquireClientCredentials(CredHandle& Handle) {
    SCHANNEL_CRED cred{};
    cred.dwVersion = SCHANNEL_CRED_VERSION;
    cred.dwFlags = SCH_CRED_NO_DEFAULT_CREDS | SCH_CRED_MANUAL_CRED_VALIDATION;
    TimeStamp expiry;
    return AcquireCredentialsHandleW(nullptr, const_cast<wchar_t*>(UNISP_NAME_W), SECPKG_CRED_OUTBOUND, nullptr, &cred,
                                     nullptr, nullptr, &Handle, &expiry);
}

// The run's one client credential, acquired at the first handshake and kept to the end of
// the process: every connection shares it, and through it Schannel resumes the sessions of a
// server it met before under the same target name. The peer's certificate is checked after
// every handshake, resumed or not. Null with Status set when it cannot be had (tried again
// next time).
CredHandle* RunCredentials(SECURITY_STATUS& Status) {
    static std::mutex lock;
    static CredHandle* credentials = nullptr;
    std::lock_guard<std::mutex> hold(lock);
    Status = SEC_E_OK;
    if (!credentials) {
        auto* handle = new CredHandle{};
        Status = AcquireClientCredentials(*handle);
        if (Status != SEC_E_OK) {
            delete handle;
            return nullptr;
        }
        credentials = handle;
    }
    return credentials;
}
}  // namespace

struct TTLSSchannel::State {
    CredHandle* credentials = nullptr;  // the run's, outlives every context
    TContext context;
    int fd = -1;
    std::wstring target;
    SecPkgContext_StreamSizes sizes{};
    std::string encrypted;  // received records not yet decrypted (at most one incomplete one)
    std::string plain;      // decrypted bytes not yet handed out
    std::string outgoing;   // an encrypted record not yet fully sent
    int outgoingPlain = 0;  // the plaintext bytes that record carries
    bool closed = false;    // the peer sent close_notify
};

TTLSSchannel::TTLSSchannel() : state_(std::make_unique<State>()) {}
TTLSSchannel::~TTLSSchannel() = default;

bool SystemTLSAvailable() {
    // The package is there when a client credential can be had.
    CredHandle h;
    if (AcquireClientCredentials(h) != SEC_E_OK) return false;
    FreeCredentialsHandle(&h);
    return true;
}

std::unique_ptr<TTLSPlugin> CreateSystemTLSPlugin() { return std::make_unique<TTLSSchannel>(); }

namespace {
// Sends all of Data, waiting for writability within the deadline. 0 or a Winsock number.
int SendAll(int Fd, const char* Data, size_t Len, int64_t Deadline, int TimeoutMs, const std::atomic<bool>* Stop) {
    while (Len > 0) {
        int error = 0;
        const long n = RawSend(Fd, Data, Len, error);
        if (n > 0) {
            Data += n, Len -= size_t(n);
            continue;
        }
        if (n < 0 && error != wsWouldBlock) return error;
        const TWaitResult waited = WaitSocket(Fd, true, RemainingMs(Deadline, TimeoutMs), Stop, error);
        if (waited != TWaitResult::Ready) return WaitErrorCode(waited, error);
    }
    return 0;
}

// Receives more bytes onto Into, waiting within the deadline. 0, or a Winsock number
// (10054 when the peer closed).
int ReceiveMore(int Fd, std::string& Into, int64_t Deadline, int TimeoutMs, const std::atomic<bool>* Stop,
                bool& WaitFailed) {
    char buf[16384];
    for (;;) {
        int error = 0;
        const long n = RawRecv(Fd, buf, sizeof buf, error);
        if (n > 0) {
            Into.append(buf, size_t(n));
            return 0;
        }
        if (n == 0) return wsConnectionReset;
        if (error != wsWouldBlock) return error;
        const TWaitResult waited = WaitSocket(Fd, false, RemainingMs(Deadline, TimeoutMs), Stop, error);
        if (waited != TWaitResult::Ready) {
            WaitFailed = true;
            return WaitErrorCode(waited, error);
        }
    }
}

// Sends the tokens of Out and frees them.
int SendTokens(int Fd, SecBufferDesc& Out, int64_t Deadline, int TimeoutMs, const std::atomic<bool>* Stop) {
    int rc = 0;
    for (unsigned long i = 0; i < Out.cBuffers; ++i) {
        SecBuffer& b = Out.pBuffers[i];
        if (b.pvBuffer && b.cbBuffer > 0 && rc == 0)
            rc = SendAll(Fd, static_cast<const char*>(b.pvBuffer), b.cbBuffer, Deadline, TimeoutMs, Stop);
        if (b.pvBuffer) FreeContextBuffer(b.pvBuffer);
        b.pvBuffer = nullptr;
    }
    return rc;
}

// How a handshake ended: Code 0 when the context is complete; otherwise the failure, with Wait
// set when a wait for the peer ended it (Code is then 10060, 10053 or the wait's error).
struct THandshakeEnd {
    int Code = 0;
    std::string Text;
    bool Wait = false;
};

THandshakeEnd SocketEnd(int Code, bool Wait) {
    if (Wait) return {Code, "", true};
    return {Code, "TLS handshake: " + WinsockErrorText(Code), false};
}

// Drives InitializeSecurityContextW to its end over Fd. Extra receives what the peer sent
// after its last handshake record: the first encrypted data.
THandshakeEnd RunHandshake(CredHandle& Credentials, TContext& Context, wchar_t* Target, int Fd, int TimeoutMs,
                           const std::atomic<bool>* Stop, std::string& Extra) {
    const int limit = TimeoutMs > 0 ? TimeoutMs : -1;
    const int64_t deadline = MonotonicMs() + (limit > 0 ? limit : 0);
    std::string in;
    bool first = true;
    for (;;) {
        SecBuffer outBuf[1] = {{0, SECBUFFER_TOKEN, nullptr}};
        SecBufferDesc out{SECBUFFER_VERSION, 1, outBuf};
        SecBuffer inBuf[2] = {{static_cast<unsigned long>(in.size()), SECBUFFER_TOKEN, in.data()},
                              {0, SECBUFFER_EMPTY, nullptr}};
        SecBufferDesc inDesc{SECBUFFER_VERSION, 2, inBuf};
        ULONG attrs = 0;
        const SECURITY_STATUS s =
            InitializeSecurityContextW(&Credentials, first ? nullptr : &Context.Handle, Target, kRequest, 0, 0,
                                       first ? nullptr : &inDesc, 0, &Context.Handle, &out, &attrs, nullptr);
        if (first && (s == SEC_E_OK || s == SEC_I_CONTINUE_NEEDED || s == SEC_E_INCOMPLETE_MESSAGE))
            Context.Valid = true;
        first = false;
        bool waitFailed = false;
        if (s == SEC_E_INCOMPLETE_MESSAGE) {
            if (const int rc = ReceiveMore(Fd, in, deadline, limit, Stop, waitFailed)) return SocketEnd(rc, waitFailed);
            continue;
        }
        // Tokens go out also with some errors: they carry the alert that tells the peer why.
        const int sent = SendTokens(Fd, out, deadline, limit, Stop);
        if (s != SEC_E_OK && s != SEC_I_CONTINUE_NEEDED) return {int(s), StatusText(s), false};
        if (sent != 0) return SocketEnd(sent, sent == wsTimedOut || sent == wsConnectionAborted);
        // What the last call did not consume belongs to the next step (or, at the end, is data).
        std::string extra =
            inBuf[1].BufferType == SECBUFFER_EXTRA ? in.substr(in.size() - inBuf[1].cbBuffer) : std::string();
        if (s == SEC_E_OK) {
            Extra = std::move(extra);
            return {};
        }
        in = std::move(extra);
        if (in.empty()) {
            if (const int rc = ReceiveMore(Fd, in, deadline, limit, Stop, waitFailed)) return SocketEnd(rc, waitFailed);
        }
    }
}
}  // namespace

bool TTLSSchannel::Connect(int Fd, int TimeoutMs, const std::atomic<bool>* Stop) {
    SSLEnabled = false;
    Resumed = false;
    LastError = 0;
    WaitError = 0;
    LastErrorDesc.clear();
    state_ = std::make_unique<State>();
    State& st = *state_;
    st.fd = Fd;
    auto fail = [this](int code, std::string text) {
        LastError = code;
        LastErrorDesc = std::move(text);
        state_ = std::make_unique<State>();
        return false;
    };

    SECURITY_STATUS s = SEC_E_OK;
    st.credentials = RunCredentials(s);
    if (!st.credentials) return fail(int(s), StatusText(s));
    // Server name indication carries names only; an address literal is not allowed in it.
    if (!SNIHost.empty() && !IsIPLiteral(SNIHost)) st.target = Widen(SNIHost);
    wchar_t* target = st.target.empty() ? nullptr : st.target.data();

    const THandshakeEnd end =
        RunHandshake(*st.credentials, st.context, target, Fd, TimeoutMs, Stop, st.encrypted);
    if (end.Wait) {
        WaitError = end.Code;
        return fail(end.Code, HandshakeWaitText(end.Code));
    }
    if (end.Code != 0) return fail(end.Code, end.Text);
    s = QueryContextAttributesW(&st.context.Handle, SECPKG_ATTR_STREAM_SIZES, &st.sizes);
    if (s != SEC_E_OK) return fail(int(s), StatusText(s));
    if (VerifyCert) {
        const std::string why = SchannelPeerVerificationFailure(&st.context.Handle, SNIHost, CAFile);
        if (!why.empty()) {
            Shutdown();
            return fail(1, why);
        }
    }
    SecPkgContext_SessionInfo session{};
    Resumed = QueryContextAttributesW(&st.context.Handle, SECPKG_ATTR_SESSION_INFO, &session) == SEC_E_OK &&
              (session.dwFlags & SSL_SESSION_RECONNECT) != 0;
    SSLEnabled = true;
    return true;
}

int TTLSSchannel::Send(const void* Buffer, int Len) {
    State& st = *state_;
    if (!st.context.Valid) return -1;
    if (st.outgoing.empty()) {
        // One record at a time; the caller calls again for the rest.
        const unsigned long n = std::min<unsigned long>(static_cast<unsigned long>(Len), st.sizes.cbMaximumMessage);
        std::string record(st.sizes.cbHeader + n + st.sizes.cbTrailer, '\0');
        std::memcpy(record.data() + st.sizes.cbHeader, Buffer, n);
        SecBuffer b[4] = {{st.sizes.cbHeader, SECBUFFER_STREAM_HEADER, record.data()},
                          {n, SECBUFFER_DATA, record.data() + st.sizes.cbHeader},
                          {st.sizes.cbTrailer, SECBUFFER_STREAM_TRAILER, record.data() + st.sizes.cbHeader + n},
                          {0, SECBUFFER_EMPTY, nullptr}};
        SecBufferDesc desc{SECBUFFER_VERSION, 4, b};
        const SECURITY_STATUS s = EncryptMessage(&st.context.Handle, 0, &desc, 0);
        if (s != SEC_E_OK) {
            LastError = int(s);
            LastErrorDesc = StatusText(s);
            return -1;
        }
        record.resize(b[0].cbBuffer + b[1].cbBuffer + b[2].cbBuffer);
        st.outgoing = std::move(record);
        st.outgoingPlain = int(n);
    }
    while (!st.outgoing.empty()) {
        int error = 0;
        const long sent = RawSend(st.fd, st.outgoing.data(), st.outgoing.size(), error);
        if (sent < 0 && error == wsWouldBlock) return kWantWrite;  // called again with the same data
        if (sent <= 0) {
            LastError = error;
            LastErrorDesc = WinsockErrorText(error);
            return -1;
        }
        st.outgoing.erase(0, size_t(sent));
    }
    return std::exchange(st.outgoingPlain, 0);
}

namespace {
// Decrypts the complete records at the front of Encrypted onto Plain. SEC_E_OK or
// SEC_E_INCOMPLETE_MESSAGE when it stopped for want of bytes; SEC_I_CONTEXT_EXPIRED when the
// peer closed; any other status is a failure.
SECURITY_STATUS DecryptAvailable(CtxtHandle* Context, std::string& Encrypted, std::string& Plain) {
    while (!Encrypted.empty()) {
        SecBuffer b[4] = {{static_cast<unsigned long>(Encrypted.size()), SECBUFFER_DATA, Encrypted.data()},
                          {0, SECBUFFER_EMPTY, nullptr},
                          {0, SECBUFFER_EMPTY, nullptr},
                          {0, SECBUFFER_EMPTY, nullptr}};
        SecBufferDesc desc{SECBUFFER_VERSION, 4, b};
        const SECURITY_STATUS s = DecryptMessage(Context, &desc, 0, nullptr);
        if (s == SEC_E_INCOMPLETE_MESSAGE) return s;
        if (s != SEC_E_OK && s != SEC_I_RENEGOTIATE && s != SEC_I_CONTEXT_EXPIRED) return s;
        std::string extra;
        for (const SecBuffer& x : b) {
            if (x.BufferType == SECBUFFER_DATA && x.cbBuffer > 0)
                Plain.append(static_cast<char*>(x.pvBuffer), x.cbBuffer);
            if (x.BufferType == SECBUFFER_EXTRA && x.cbBuffer > 0)
                extra.assign(Encrypted.data() + Encrypted.size() - x.cbBuffer, x.cbBuffer);
        }
        Encrypted = std::move(extra);
        if (s == SEC_I_CONTEXT_EXPIRED) return s;
        // SEC_I_RENEGOTIATE: TLS 1.3 messages after the handshake (session tickets); the
        // client has nothing to answer, so reading goes on.
    }
    return SEC_E_OK;
}
}  // namespace

int TTLSSchannel::Recv(void* Buffer, int Len) {
    State& st = *state_;
    if (!st.context.Valid) return -1;
    while (st.plain.empty()) {
        if (st.closed) return 0;
        const SECURITY_STATUS s = DecryptAvailable(&st.context.Handle, st.encrypted, st.plain);
        if (s == SEC_I_CONTEXT_EXPIRED)
            st.closed = true;
        else if (s != SEC_E_OK && s != SEC_E_INCOMPLETE_MESSAGE) {
            LastError = int(s);
            LastErrorDesc = StatusText(s);
            return -1;
        }
        if (!st.plain.empty() || st.closed) continue;
        char buf[16384];
        int error = 0;
        const long n = RawRecv(st.fd, buf, sizeof buf, error);
        if (n < 0 && error == wsWouldBlock) return kWantRead;
        if (n < 0) {
            LastError = error;
            LastErrorDesc = WinsockErrorText(error);
            return -1;
        }
        // A peer that closes without close_notify ends the stream like one that sends it:
        // reads of undeclared length end at the close, a short declared body is still caught.
        if (n == 0) return 0;
        st.encrypted.append(buf, size_t(n));
    }
    const size_t n = std::min(st.plain.size(), size_t(Len));
    std::memcpy(Buffer, st.plain.data(), n);
    st.plain.erase(0, n);
    // Whole records that arrived with this one are decrypted now, so WaitingData counts them.
    if (st.plain.empty() && !st.encrypted.empty() && !st.closed) {
        const SECURITY_STATUS s = DecryptAvailable(&st.context.Handle, st.encrypted, st.plain);
        if (s == SEC_I_CONTEXT_EXPIRED) st.closed = true;
    }
    return int(n);
}

int TTLSSchannel::WaitingData() { return int(state_->plain.size()); }

void TTLSSchannel::Shutdown() {
    State& st = *state_;
    if (st.context.Valid && SSLEnabled) {
        // One close_notify, without waiting for the peer's: the handle is closed right after.
        DWORD type = SCHANNEL_SHUTDOWN;
        SecBuffer tb{sizeof type, SECBUFFER_TOKEN, &type};
        SecBufferDesc td{SECBUFFER_VERSION, 1, &tb};
        if (ApplyControlToken(&st.context.Handle, &td) == SEC_E_OK) {
            SecBuffer outBuf{0, SECBUFFER_TOKEN, nullptr};
            SecBufferDesc out{SECBUFFER_VERSION, 1, &outBuf};
            ULONG attrs = 0;
            const SECURITY_STATUS s = InitializeSecurityContextW(
                st.credentials, &st.context.Handle, st.target.empty() ? nullptr : st.target.data(), kRequest, 0,
                0, nullptr, 0, nullptr, &out, &attrs, nullptr);
            if (s == SEC_E_OK || s == SEC_I_CONTEXT_EXPIRED)
                SendTokens(st.fd, out, MonotonicMs() + 1000, 1000, nullptr);
            else if (outBuf.pvBuffer)
                FreeContextBuffer(outBuf.pvBuffer);
        }
    }
    state_ = std::make_unique<State>();
    SSLEnabled = false;
}

}  // namespace http
