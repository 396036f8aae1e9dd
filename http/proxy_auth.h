#pragma once
// Answering a proxy that asks who we are (407), for plain requests through it and for CONNECT.
// The handshake is portable; which schemes the workstation can answer, and with whose
// credentials, is the platform's (proxy_auth_posix.cpp, proxy_auth_win.cpp).
#include <memory>
#include <string>
#include <vector>

#include "platform/errors.h"

namespace http {

// A 407 that cannot be answered, or credentials the proxy refused. Never a connection
// problem: the proxy was reached and answered.
class EProxyAuthError : public platform::EUpdaterError {
public:
    using EUpdaterError::EUpdaterError;
};

struct TProxyChallenge {
    std::string Scheme;  // as the proxy wrote it: "Basic", "NTLM", "Negotiate"
    std::string Data;    // the rest of the line: "realm=\"x\"", a base64 token, or empty
};
// The Proxy-Authenticate lines among a reply's header lines, in order.
std::vector<TProxyChallenge> ProxyChallenges(const std::vector<std::string>& HeaderLines);
// "Basic, NTLM": each scheme once, in the proxy's order.
std::string SchemeList(const std::vector<TProxyChallenge>& Offered);

struct TProxyCredentials {
    std::string User, Password;  // User may be "DOMAIN\user"
};

// One handshake of one scheme with one proxy.
class TProxyAuthSession {
public:
    virtual ~TProxyAuthSession() = default;
    virtual std::string Scheme() const = 0;
    // Such a scheme authenticates the connection: every round must go over the same one.
    virtual bool ConnectionOriented() const = 0;
    // The next Proxy-Authorization value for the proxy's challenge data (empty for the first
    // round); false when the scheme has nothing more to say.
    virtual bool Respond(const std::string& ChallengeData, std::string& Authorization) = 0;
    // Whose credentials answer ("alice", "the logged-on user"), for the log and the errors.
    virtual std::string Who() const = 0;
    // The logged-on user's, asked of nobody: when it fails, a password kept or asked for may
    // still pass the proxy.
    virtual bool SingleSignOn() const { return false; }
};

std::unique_ptr<TProxyAuthSession> NewBasicSession(const TProxyCredentials& Credentials);
std::unique_ptr<TProxyAuthSession> NewNtlmSession(const TProxyCredentials& Credentials, const std::string& Workstation);

// What the workstation can answer with. Replaceable, so tests can stand in for the
// platform's single sign-on and credential store.
class TProxyAuthProvider {
public:
    virtual ~TProxyAuthProvider() = default;
    // A session for one of the Offered schemes, or nullptr when none can be answered.
    // Proxy: "host:port"; Explicit: the credentials the proxy settings carry (may be empty).
    virtual std::unique_ptr<TProxyAuthSession> Start(const std::vector<TProxyChallenge>& Offered,
                                                     const std::string& Proxy, const TProxyCredentials& Explicit);
    // After the single sign-on failed: a session with credentials kept for the proxy or asked
    // of the user, or nullptr.
    virtual std::unique_ptr<TProxyAuthSession> StartAfterSingleSignOn(const std::vector<TProxyChallenge>& Offered,
                                                                      const std::string& Proxy);
};
// The provider in force: the platform's unless a test installed another.
TProxyAuthProvider& ProxyAuthProvider();
void SetProxyAuthProvider(TProxyAuthProvider* Provider);  // nullptr restores the platform's

// The platform's part of the default provider: schemes answered without explicit credentials
// (the logged-on user's, the credential store's). nullptr when it has none to offer.
std::unique_ptr<TProxyAuthSession> PlatformProxySession(const std::vector<TProxyChallenge>& Offered,
                                                        const std::string& Proxy);
// The credential store's part of it alone.
std::unique_ptr<TProxyAuthSession> StoredProxySession(const std::vector<TProxyChallenge>& Offered,
                                                      const std::string& Proxy);
// NTLM for Credentials by the platform's own implementation (SSPI on Windows); nullptr where
// there is none or it cannot start.
std::unique_ptr<TProxyAuthSession> PlatformNtlmSession(const TProxyCredentials& Credentials, const std::string& Proxy);
// NTLM for Credentials: the platform's where it starts, else the own.
std::unique_ptr<TProxyAuthSession> NtlmSession(const TProxyCredentials& Credentials, const std::string& Proxy);
// The workstation's name, as NTLM sends it.
std::string WorkstationName();

// The rounds with one proxy for one request. Answer() takes each 407 and gives the next
// Proxy-Authorization value, or raises EProxyAuthError naming the proxy and its schemes.
class TProxyHandshake {
public:
    // PreemptiveBasic: the request already carried Basic credentials from the settings.
    TProxyHandshake(std::string Proxy, TProxyCredentials Explicit, bool PreemptiveBasic);
    std::string Answer(const std::vector<std::string>& ReplyLines);
    bool Started() const { return session_ != nullptr; }
    bool ConnectionOriented() const { return session_ && session_->ConnectionOriented(); }
    // Whether the last Answer started the handshake over (after a failed single sign-on): the
    // proxy ties the failed one to the connection, so the new one needs a fresh connection.
    bool StartedOver() const { return startedOver_; }
    // The proxy answered the request with something other than 407: what the handshake
    // sent was taken.
    void Accepted();
    // "Basic for alice", for the log.
    std::string Describe() const;

private:
    [[noreturn]] void Refused(const std::string& Scheme, const std::string& Who) const;

    std::string proxy_;
    TProxyCredentials explicit_;
    bool preemptiveBasic_;
    std::unique_ptr<TProxyAuthSession> session_;
    int rounds_ = 0;
    bool afterSingleSignOn_ = false, startedOver_ = false;
};

}  // namespace http
