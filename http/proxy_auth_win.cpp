// The platform's part of proxy authentication on Windows: Negotiate and NTLM through SSPI as
// the logged-on user, without a prompt; else a user name and password the Credential Manager
// keeps for the proxy (Basic, or NTLM with that user).
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
// One SSPI context with the proxy, as the logged-on user.
class TSspiSession : public TProxyAuthSession {
public:
    TSspiSession(std::string scheme, const std::string& proxy) : scheme_(std::move(scheme)) {
        // Kerberos names the proxy's service by its host: "HTTP/proxy.corp".
        target_ = Widen("HTTP/" + SeparateLeft(proxy, ":"));
    }
    ~TSspiSession() override {
        if (haveContext_) DeleteSecurityContext(&context_);
        if (haveCredentials_) FreeCredentialsHandle(&credentials_);
    }
    bool Acquire() {
        TimeStamp expiry;
        std::wstring package = Widen(scheme_);
        haveCredentials_ = AcquireCredentialsHandleW(nullptr, package.data(), SECPKG_CRED_OUTBOUND, nullptr, nullptr,
                                                     nullptr, nullptr, &credentials_, &expiry) == SEC_E_OK;
        return haveCredentials_;
    }
    std::string Scheme() const override { return scheme_; }
    bool ConnectionOriented() const override { return true; }
    std::string Who() const override { return "the logged-on user"; }

    bool Respond(const std::string& ChallengeData, std::string& Authorization) override {
        std::string input;
        if (haveContext_ && !DecodeBase64Strict(ChallengeData, input)) return false;
        if (haveContext_ && input.empty()) return false;
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
        haveContext_ = true;
        std::string token;
        if (out.pvBuffer) {
            token.assign(static_cast<const char*>(out.pvBuffer), out.cbBuffer);
            FreeContextBuffer(out.pvBuffer);
        }
        if ((status != SEC_E_OK && status != SEC_I_CONTINUE_NEEDED) || token.empty()) return false;
        Authorization = scheme_ + " " + EncodeBase64(token);
        return true;
    }

private:
    std::string scheme_;
    std::wstring target_;
    CredHandle credentials_{};
    CtxtHandle context_{};
    bool haveCredentials_ = false, haveContext_ = false;
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
        auto sspi = std::make_unique<TSspiSession>(scheme, Proxy);
        if (sspi->Acquire()) return sspi;
    }
    TProxyCredentials stored;
    if (StoredCredentials(Proxy, stored)) {
        if (Offers(Offered, "NTLM")) return NewNtlmSession(stored, WorkstationName());
        if (Offers(Offered, "Basic")) return NewBasicSession(stored);
    }
    return nullptr;
}

std::string WorkstationName() {
    wchar_t name[MAX_COMPUTERNAME_LENGTH + 1] = {};
    DWORD size = MAX_COMPUTERNAME_LENGTH + 1;
    return GetComputerNameW(name, &size) ? Narrow(std::wstring_view(name, size)) : std::string();
}

}  // namespace http
