#include "http/proxy_auth.h"

#include "http/proxy_prompt.h"
#include "platform/base64.h"
#include "platform/codepage.h"
#include "platform/strconv.h"

using namespace platform;

namespace http {

namespace {
constexpr int kMaxRounds = 4;

class TBasicSession : public TProxyAuthSession {
public:
    explicit TBasicSession(TProxyCredentials c) : c_(std::move(c)) {}
    std::string Scheme() const override { return "Basic"; }
    bool ConnectionOriented() const override { return false; }
    bool Respond(const std::string&, std::string& Authorization) override {
        if (sent_) return false;  // asked again: the proxy refused what it got
        sent_ = true;
        Authorization = "Basic " + EncodeBase64(Utf8ToAnsi(c_.User + ":" + c_.Password));
        return true;
    }
    std::string Who() const override { return c_.User; }

private:
    TProxyCredentials c_;
    bool sent_ = false;
};

const TProxyChallenge* Find(const std::vector<TProxyChallenge>& Offered, const std::string& Scheme) {
    for (const TProxyChallenge& c : Offered)
        if (SameText(c.Scheme, Scheme)) return &c;
    return nullptr;
}

// Nothing kept for this proxy: in a visual run the user may still know the password.
std::unique_ptr<TProxyAuthSession> Prompted(const std::vector<TProxyChallenge>& Offered, const std::string& Proxy) {
    const char* scheme = Find(Offered, "NTLM") ? "NTLM" : Find(Offered, "Basic") ? "Basic" : nullptr;
    TProxyCredentials asked;
    if (!scheme || !AskProxyCredentials(Proxy, scheme, asked)) return nullptr;
    if (SameText(scheme, "NTLM")) return NtlmSession(asked, Proxy);
    return NewBasicSession(asked);
}

TProxyAuthProvider gPlatformProvider;
TProxyAuthProvider* gProvider = nullptr;
}  // namespace

std::vector<TProxyChallenge> ProxyChallenges(const std::vector<std::string>& HeaderLines) {
    std::vector<TProxyChallenge> out;
    for (const std::string& line : HeaderLines) {
        if (!StartsText("proxy-authenticate:", line)) continue;
        const std::string value = Trim(line.substr(line.find(':') + 1));
        if (value.empty()) continue;
        const size_t blank = value.find(' ');
        TProxyChallenge c;
        c.Scheme = value.substr(0, blank);
        if (blank != std::string::npos) c.Data = Trim(value.substr(blank + 1));
        out.push_back(std::move(c));
    }
    return out;
}

std::string SchemeList(const std::vector<TProxyChallenge>& Offered) {
    std::vector<std::string> seen;
    std::string out;
    for (const TProxyChallenge& c : Offered) {
        bool dup = false;
        for (const std::string& s : seen) dup = dup || SameText(s, c.Scheme);
        if (dup) continue;
        seen.push_back(c.Scheme);
        if (!out.empty()) out += ", ";
        out += c.Scheme;
    }
    return out.empty() ? "no scheme" : out;
}

std::unique_ptr<TProxyAuthSession> NewBasicSession(const TProxyCredentials& Credentials) {
    return std::make_unique<TBasicSession>(Credentials);
}

std::unique_ptr<TProxyAuthSession> NtlmSession(const TProxyCredentials& Credentials, const std::string& Proxy) {
    if (auto platform = PlatformNtlmSession(Credentials, Proxy)) return platform;
    return NewNtlmSession(Credentials, WorkstationName());
}

std::unique_ptr<TProxyAuthSession> TProxyAuthProvider::Start(const std::vector<TProxyChallenge>& Offered,
                                                             const std::string& Proxy,
                                                             const TProxyCredentials& Explicit) {
    // Credentials the administrator set win: they name the account meant for this proxy.
    if (!Explicit.User.empty()) {
        if (Find(Offered, "NTLM")) return NtlmSession(Explicit, Proxy);
        if (Find(Offered, "Basic")) return NewBasicSession(Explicit);
    }
    if (auto platform = PlatformProxySession(Offered, Proxy)) return platform;
    return Prompted(Offered, Proxy);
}

std::unique_ptr<TProxyAuthSession> TProxyAuthProvider::StartAfterSingleSignOn(
    const std::vector<TProxyChallenge>& Offered, const std::string& Proxy) {
    if (auto stored = StoredProxySession(Offered, Proxy)) return stored;
    return Prompted(Offered, Proxy);
}

TProxyAuthProvider& ProxyAuthProvider() { return gProvider ? *gProvider : gPlatformProvider; }
void SetProxyAuthProvider(TProxyAuthProvider* Provider) { gProvider = Provider; }

TProxyHandshake::TProxyHandshake(std::string Proxy, TProxyCredentials Explicit, bool PreemptiveBasic)
    : proxy_(std::move(Proxy)), explicit_(std::move(Explicit)), preemptiveBasic_(PreemptiveBasic) {}

void TProxyHandshake::Refused(const std::string& Scheme, const std::string& Who) const {
    ProxyCredentialsOutcome(proxy_, false);
    throw EProxyAuthError("The proxy " + proxy_ + " refused the credentials of " + Who + " (" + Scheme +
                          "). Check the user name and password set for this proxy.");
}

std::string TProxyHandshake::Answer(const std::vector<std::string>& ReplyLines) {
    startedOver_ = false;
    const std::vector<TProxyChallenge> offered = ProxyChallenges(ReplyLines);
    if (++rounds_ > kMaxRounds) Refused(session_ ? session_->Scheme() : SchemeList(offered), "the user");
    std::string authorization;
    if (!session_) {
        // Basic went with the request already; asked again, the proxy refused it.
        if (preemptiveBasic_ && Find(offered, "Basic")) Refused("Basic", explicit_.User);
        session_ = ProxyAuthProvider().Start(offered, proxy_, explicit_);
        if (!session_) {
            bool known = false;
            for (const TProxyChallenge& c : offered)
                known = known || SameText(c.Scheme, "Basic") || SameText(c.Scheme, "NTLM") ||
                        SameText(c.Scheme, "Negotiate");
            if (!known || !explicit_.User.empty())
                throw EProxyAuthError("The proxy " + proxy_ + " requires authentication with " + SchemeList(offered) +
                                      ", which this updater cannot answer here.");
            throw EProxyAuthError("The proxy " + proxy_ + " requires authentication (it offers " + SchemeList(offered) +
                                  ") and no credentials for it are set.");
        }
        if (!session_->Respond(std::string(), authorization)) Refused(session_->Scheme(), session_->Who());
        return authorization;
    }
    const TProxyChallenge* mine = Find(offered, session_->Scheme());
    // A bare challenge after our answer starts the handshake over: the answer was refused.
    if (mine && !(session_->ConnectionOriented() && mine->Data.empty()) && session_->Respond(mine->Data, authorization))
        return authorization;
    // The logged-on user was refused, or could not answer at all: once, the handshake starts
    // again with what is kept for the proxy or what the user gives.
    if (session_->SingleSignOn() && !afterSingleSignOn_) {
        afterSingleSignOn_ = true;
        if (auto next = ProxyAuthProvider().StartAfterSingleSignOn(offered, proxy_)) {
            if (next->Respond(std::string(), authorization)) {
                session_ = std::move(next);
                startedOver_ = true;
                return authorization;
            }
        }
    }
    Refused(session_->Scheme(), session_->Who());
}

void TProxyHandshake::Accepted() {
    if (session_) ProxyCredentialsOutcome(proxy_, true);
}

std::string TProxyHandshake::Describe() const {
    return session_ ? session_->Scheme() + " for " + session_->Who() : std::string("none");
}

}  // namespace http
