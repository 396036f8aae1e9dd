// The platform's part of proxy authentication on Windows: Negotiate and NTLM through SSPI as
// the logged-on user, without a prompt; else a user name and password the Credential Manager
// keeps for the proxy (Basic, or NTLM with that user). NTLM for a user given goes through
// SSPI too, which follows the workstation's NTLM policy.
#define SECURITY_WIN32
#include <windows.h>
#include <security.h>
#include <wincred.h>

#include "http/proxy_auth.h"
#include "platform/base64.h"
#include "platform/strconv.h"
#include "platform/wide_text_win.h"

using namespace platform;

namespace http {

namespace {
// One SSPI context with the proxy: as the logged-on user, or for credentials given.
class TSspiSession : public TProxyAuthSession {
public:
    TSspiSession(std::string scheme, const std::string& proxy, const TProxyCredentials* given)
        : scheme_(std::move(scheme)) {
        // Kerberos names the proxy's service by its host: "HTTP/proxy.corp".
        target_ = Widen("HTTP/" + SeparateLeft(proxy, ":"));
        if (given) {
            who_ = given->User;
            const size_t slash = given->User.find('\\');
            domain_ = Widen(slash == std::string::npos ? std::string() : given->User.substr(0, slash));
            user_ = Widen(slash == std::string::npos ? given->User : given->User.substr(slash + 1));
            password_ = Widen(given->Password);
        }
    }
    ~TSspiSession() override {
        if (haveContext_) DeleteSecurityContext(&context_);
        if (haveCredentials_) FreeCredentialsHandle(&credentials_);
        SecureZeroMemory(password_.data(), password_.size() * sizeof(wchar_t));
    }
    // The credentials and the first message; false when the platform cannot answer the
    // scheme (no such package, no logged-on user's credentials, Wine without ntlm_auth).
    bool Start() {
        TimeStamp expiry;
        std::wstring package = Widen(scheme_);
        SEC_WINNT_AUTH_IDENTITY_W identity{};
        const bool given = !who_.empty();
        if (given) {
            identity.User = reinterpret_cast<unsigned short*>(user_.data());
            identity.UserLength = static_cast<unsigned long>(user_.size());
            identity.Domain = reinterpret_cast<unsigned short*>(domain_.data());
            identity.DomainLength = static_cast<unsigned long>(domain_.size());
            identity.Password = reinterpret_cast<unsigned short*>(password_.data());
            identity.PasswordLength = static_cast<unsigned long>(password_.size());
            identity.Flags = SEC_WINNT_AUTH_IDENTITY_UNICODE;
        }
        haveCredentials_ = AcquireCredentialsHandleW(nullptr, package.data(), SECPKG_CRED_OUTBOUND, nullptr,
                                                     given ? &identity : nullptr, nullptr, nullptr, &credentials_,
                                                     &expiry) == SEC_E_OK;
        return haveCredentials_ && Step(std::string(), first_);
    }
    std::string Scheme() const override { return scheme_; }
    bool ConnectionOriented() const override { return true; }
    std::string Who() const override { return who_.empty() ? "the logged-on user" : who_; }
    bool SingleSignOn() const override { return who_.empty(); }

    bool Respond(const std::string& ChallengeData, std::string& Authorization) override {
        std::string token;
        if (!firstSent_) {
            firstSent_ = true;
            token = first_;
        } else {
            std::string input;
            if (!DecodeBase64Strict(ChallengeData, input) || input.empty() || !Step(input, token)) return false;
        }
        Authorization = scheme_ + " " + EncodeBase64(token);
        return true;
    }

private:
    // One call of the context: the proxy's token in (none for the first), ours out.
    bool Step(std::string input, std::string& token) {
        SecBuffer in{static_cast<unsigned long>(input.size()), SECBUFFER_TOKEN, input.data()};
        SecBufferDesc inDesc{SECBUFFER_VERSION, 1, &in};
        SecBuffer out{0, SECBUFFER_TOKEN, nullptr};
        SecBufferDesc outDesc{SECBUFFER_VERSION, 1, &out};
        unsigned long attributes = 0;
        TimeStamp expiry;
        const SECURITY_STATUS status = InitializeSecurityContextW(
            &credentials_, haveContext_ ? &context_ : nullptr, target_.data(),
            ISC_REQ_CONNECTION | ISC_REQ_ALLOCATE_MEMORY, 0, SECURITY_NATIVE_DREP, haveContext_ ? &inDesc : nullptr, 0,
            &context_, &outDesc, &attributes, &expiry);
        if (status == SEC_E_OK || status == SEC_I_CONTINUE_NEEDED) haveContext_ = true;
        token.clear();
        if (out.pvBuffer) {
            token.assign(static_cast<const char*>(out.pvBuffer), out.cbBuffer);
            FreeContextBuffer(out.pvBuffer);
        }
        return (status == SEC_E_OK || status == SEC_I_CONTINUE_NEEDED) && !token.empty();
    }

    std::string scheme_, who_, first_;
    std::wstring target_, user_, domain_, password_;
    CredHandle credentials_{};
    CtxtHandle context_{};
    bool haveCredentials_ = false, haveContext_ = false, firstSent_ = false;
};

bool Offers(const std::vector<TProxyChallenge>& Offered, const char* Scheme) {
    for (const TProxyChallenge& c : Offered)
        if (SameText(c.Scheme, Scheme)) return true;
    return false;
}

// A generic credential kept for "host:port", else for "host".
bool StoredCredentials(const std::string& Proxy, TProxyCredentials& Out) {
    for (const std::string& target : {Proxy, SeparateLeft(Proxy, ":")}) {
        PCREDENTIALW cred = nullptr;
        if (!CredReadW(Widen(target).c_str(), CRED_TYPE_GENERIC, 0, &cred)) continue;
        Out.User = cred->UserName ? Narrow(cred->UserName) : std::string();
        Out.Password = Narrow(std::wstring_view(reinterpret_cast<const wchar_t*>(cred->CredentialBlob),
                                                cred->CredentialBlobSize / sizeof(wchar_t)));
        SecureZeroMemory(cred->CredentialBlob, cred->CredentialBlobSize);
        CredFree(cred);
        if (!Out.User.empty()) return true;
    }
    return false;
}
}  // namespace

std::unique_ptr<TProxyAuthSession> PlatformProxySession(const std::vector<TProxyChallenge>& Offered,
                                                        const std::string& Proxy) {
    for (const char* scheme : {"Negotiate", "NTLM"}) {
        if (!Offers(Offered, scheme)) continue;
        auto sspi = std::make_unique<TSspiSession>(scheme, Proxy, nullptr);
        if (sspi->Start()) return sspi;
    }
    return StoredProxySession(Offered, Proxy);
}

std::unique_ptr<TProxyAuthSession> StoredProxySession(const std::vector<TProxyChallenge>& Offered,
                                                      const std::string& Proxy) {
    TProxyCredentials stored;
    if (StoredCredentials(Proxy, stored)) {
        if (Offers(Offered, "NTLM")) return NtlmSession(stored, Proxy);
        if (Offers(Offered, "Basic")) return NewBasicSession(stored);
    }
    return nullptr;
}

std::unique_ptr<TProxyAuthSession> PlatformNtlmSession(const TProxyCredentials& Credentials, const std::string& Proxy) {
    auto sspi = std::make_unique<TSspiSession>("NTLM", Proxy, &Credentials);
    if (!sspi->Start()) return nullptr;
    return sspi;
}

std::string WorkstationName() {
    wchar_t name[MAX_COMPUTERNAME_LENGTH + 1] = {};
    DWORD size = MAX_COMPUTERNAME_LENGTH + 1;
    return GetComputerNameW(name, &size) ? Narrow(std::wstring_view(name, size)) : std::string();
}

}  // namespace http
