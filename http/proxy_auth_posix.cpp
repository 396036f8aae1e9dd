// The platform's part of proxy authentication on POSIX: Negotiate through GSSAPI when the
// user holds a Kerberos ticket; anything else needs the credentials of the proxy URL (see
// proxy_environment).
#include <gssapi/gssapi.h>
#include <unistd.h>

#include "http/proxy_auth.h"
#include "platform/base64.h"
#include "platform/strconv.h"

using namespace platform;

namespace http {

namespace {
gss_OID_desc kSpnego = {6, const_cast<char*>("\x2b\x06\x01\x05\x05\x02")};

// One security context with the proxy's "HTTP" service, as the ticket's owner.
class TGssSession : public TProxyAuthSession {
public:
    explicit TGssSession(const std::string& proxy) : host_(SeparateLeft(proxy, ":")) {}
    ~TGssSession() override {
        OM_uint32 minor = 0;
        if (context_ != GSS_C_NO_CONTEXT) gss_delete_sec_context(&minor, &context_, GSS_C_NO_BUFFER);
        if (target_ != GSS_C_NO_NAME) gss_release_name(&minor, &target_);
    }
    TGssSession(const TGssSession&) = delete;
    TGssSession& operator=(const TGssSession&) = delete;

    // The first token, made now: no ticket (or none the proxy's realm takes) means this
    // scheme cannot be answered and another may be tried.
    bool Start() {
        OM_uint32 minor = 0;
        std::string service = "HTTP@" + host_;
        gss_buffer_desc name{service.size(), service.data()};
        if (GSS_ERROR(gss_import_name(&minor, &name, GSS_C_NT_HOSTBASED_SERVICE, &target_))) return false;
        if (!Step(std::string(), first_)) return false;
        who_ = TicketOwner();
        return true;
    }
    std::string Scheme() const override { return "Negotiate"; }
    bool ConnectionOriented() const override { return true; }
    std::string Who() const override { return who_; }
    bool SingleSignOn() const override { return true; }

    bool Respond(const std::string& ChallengeData, std::string& Authorization) override {
        std::string token;
        if (!sentFirst_) {
            sentFirst_ = true;
            token = std::move(first_);
        } else {
            std::string input;
            if (complete_ || !DecodeBase64Strict(ChallengeData, input) || input.empty() || !Step(input, token))
                return false;
        }
        if (token.empty()) return false;
        Authorization = "Negotiate " + EncodeBase64(token);
        return true;
    }

private:
    bool Step(std::string input, std::string& token) {
        OM_uint32 minor = 0;
        gss_buffer_desc in{input.size(), input.data()};
        gss_buffer_desc out{0, nullptr};
        const OM_uint32 major = gss_init_sec_context(
            &minor, GSS_C_NO_CREDENTIAL, &context_, target_, &kSpnego, 0, GSS_C_INDEFINITE, GSS_C_NO_CHANNEL_BINDINGS,
            input.empty() ? GSS_C_NO_BUFFER : &in, nullptr, &out, nullptr, nullptr);
        if (out.value) {
            token.assign(static_cast<const char*>(out.value), out.length);
            gss_release_buffer(&minor, &out);
        }
        complete_ = major == GSS_S_COMPLETE;
        return !GSS_ERROR(major);
    }
    static std::string TicketOwner() {
        OM_uint32 minor = 0;
        gss_name_t name = GSS_C_NO_NAME;
        std::string who = "the Kerberos ticket's owner";
        if (!GSS_ERROR(gss_inquire_cred(&minor, GSS_C_NO_CREDENTIAL, &name, nullptr, nullptr, nullptr))) {
            gss_buffer_desc text{0, nullptr};
            if (!GSS_ERROR(gss_display_name(&minor, name, &text, nullptr)) && text.value)
                who.assign(static_cast<const char*>(text.value), text.length);
            gss_release_buffer(&minor, &text);
            gss_release_name(&minor, &name);
        }
        return who;
    }

    std::string host_, who_, first_;
    gss_name_t target_ = GSS_C_NO_NAME;
    gss_ctx_id_t context_ = GSS_C_NO_CONTEXT;
    bool sentFirst_ = false, complete_ = false;
};
}  // namespace

std::unique_ptr<TProxyAuthSession> PlatformProxySession(const std::vector<TProxyChallenge>& Offered,
                                                        const std::string& Proxy) {
    for (const TProxyChallenge& c : Offered) {
        if (!SameText(c.Scheme, "Negotiate")) continue;
        auto gss = std::make_unique<TGssSession>(Proxy);
        if (gss->Start()) return gss;
        break;
    }
    return nullptr;
}

// No credential store here: a proxy's password comes from its URL.
std::unique_ptr<TProxyAuthSession> StoredProxySession(const std::vector<TProxyChallenge>&, const std::string&) {
    return nullptr;
}

// No platform NTLM here: the own one answers.
std::unique_ptr<TProxyAuthSession> PlatformNtlmSession(const TProxyCredentials&, const std::string&) {
    return nullptr;
}

std::string WorkstationName() {
    char name[256] = {};
    if (gethostname(name, sizeof name - 1) != 0) return {};
    std::string s(name);
    if (const size_t dot = s.find('.'); dot != std::string::npos) s.erase(dot);
    return s;
}

}  // namespace http
