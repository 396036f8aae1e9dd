// NTLM (NTLMv2 responses) with a user name and password given: the three messages of the
// handshake, built and read here so the same code answers on every platform.
#include <chrono>
#include <cstdint>
#include <random>

#include "http/ntlm_hash.h"
#include "http/ntlm_auth.h"
#include "platform/base64.h"
#include "platform/strconv.h"

using namespace platform;

namespace http {

namespace {
constexpr uint32_t kUnicode = 0x00000001, kOem = 0x00000002, kRequestTarget = 0x00000004, kNtlm = 0x00000200,
                   kAlwaysSign = 0x00008000, kExtendedSecurity = 0x00080000, kTargetInfo = 0x00800000, k128 = 0x20000000,
                   k56 = 0x80000000;
const char kSignature[8] = {'N', 'T', 'L', 'M', 'S', 'S', 'P', '\0'};

void Put16(std::string& s, uint32_t v) {
    s += char(v & 0xFF);
    s += char((v >> 8) & 0xFF);
}
void Put32(std::string& s, uint32_t v) {
    Put16(s, v & 0xFFFF);
    Put16(s, v >> 16);
}
uint32_t Get32(const std::string& s, size_t at) {
    uint32_t v = 0;
    for (size_t i = 0; i < 4; ++i) v |= uint32_t(static_cast<unsigned char>(s[at + i])) << (8 * i);
    return v;
}
uint32_t Get16(const std::string& s, size_t at) {
    return uint32_t(static_cast<unsigned char>(s[at])) | uint32_t(static_cast<unsigned char>(s[at + 1])) << 8;
}

// UTF-8 to UTF-16LE bytes (characters beyond the basic plane as surrogate pairs).
std::string Utf16Le(std::string_view s) {
    std::string out;
    for (size_t i = 0; i < s.size();) {
        const auto c = static_cast<unsigned char>(s[i]);
        uint32_t cp = c;
        size_t n = 1;
        if (c >= 0xF0 && i + 3 < s.size())
            cp = (c & 0x07u) << 18 | (static_cast<unsigned char>(s[i + 1]) & 0x3Fu) << 12 |
                 (static_cast<unsigned char>(s[i + 2]) & 0x3Fu) << 6 | (static_cast<unsigned char>(s[i + 3]) & 0x3Fu),
            n = 4;
        else if (c >= 0xE0 && i + 2 < s.size())
            cp = (c & 0x0Fu) << 12 | (static_cast<unsigned char>(s[i + 1]) & 0x3Fu) << 6 |
                 (static_cast<unsigned char>(s[i + 2]) & 0x3Fu),
            n = 3;
        else if (c >= 0xC0 && i + 1 < s.size())
            cp = (c & 0x1Fu) << 6 | (static_cast<unsigned char>(s[i + 1]) & 0x3Fu), n = 2;
        i += n;
        if (cp >= 0x10000) {
            cp -= 0x10000;
            Put16(out, 0xD800 | (cp >> 10));
            Put16(out, 0xDC00 | (cp & 0x3FF));
        } else {
            Put16(out, cp);
        }
    }
    return out;
}

// Fixed header fields point into the payload that follows them.
struct TMessage {
    std::string head, payload;
    size_t headSize;
    void Field(const std::string& bytes) {
        Put16(head, uint32_t(bytes.size()));
        Put16(head, uint32_t(bytes.size()));
        Put32(head, uint32_t(headSize + payload.size()));
        payload += bytes;
    }
};

// "DOMAIN\user" (or "DOMAIN/user") -> domain and user.
void SplitUser(const std::string& u, std::string& domain, std::string& user) {
    const size_t sep = u.find_first_of("\\/");
    domain = sep == std::string::npos ? std::string() : u.substr(0, sep);
    user = sep == std::string::npos ? u : u.substr(sep + 1);
}

std::string NegotiateMessage() {
    std::string m(kSignature, 8);
    Put32(m, 1);
    Put32(m, kUnicode | kOem | kRequestTarget | kNtlm | kAlwaysSign | kExtendedSecurity | k128 | k56);
    for (int i = 0; i < 2; ++i) {  // domain and workstation: not supplied
        Put16(m, 0);
        Put16(m, 0);
        Put32(m, 32);
    }
    return m;
}

class TNtlmSession : public TProxyAuthSession {
public:
    TNtlmSession(TProxyCredentials c, std::string workstation) : c_(std::move(c)), workstation_(std::move(workstation)) {}
    std::string Scheme() const override { return "NTLM"; }
    bool ConnectionOriented() const override { return true; }
    std::string Who() const override { return c_.User; }

    bool Respond(const std::string& ChallengeData, std::string& Authorization) override {
        if (round_++ == 0) {
            Authorization = "NTLM " + EncodeBase64(NegotiateMessage());
            return true;
        }
        if (round_ > 2) return false;
        std::string challenge, authenticate;
        if (!DecodeBase64Strict(ChallengeData, challenge)) return false;
        std::random_device rd;
        std::string nonce;
        for (int i = 0; i < 8; ++i) nonce += char(rd() & 0xFF);
        const auto now = std::chrono::system_clock::now().time_since_epoch();
        // Windows time: 100 ns steps since 1601.
        const uint64_t filetime = uint64_t(std::chrono::duration_cast<std::chrono::microseconds>(now).count()) * 10 +
                                  116444736000000000ull;
        if (!NtlmAuthenticateMessage(c_, workstation_, challenge, filetime, nonce, authenticate)) return false;
        Authorization = "NTLM " + EncodeBase64(authenticate);
        return true;
    }

private:
    TProxyCredentials c_;
    std::string workstation_;
    int round_ = 0;
};
}  // namespace

std::unique_ptr<TProxyAuthSession> NewNtlmSession(const TProxyCredentials& Credentials,
                                                  const std::string& Workstation) {
    return std::make_unique<TNtlmSession>(Credentials, Workstation);
}

std::string NtlmV2Hash(const std::string& User, const std::string& Domain, const std::string& Password) {
    return HmacMd5(Md4(Utf16Le(Password)), Utf16Le(UpperCase(User) + Domain));
}

bool NtlmAuthenticateMessage(const TProxyCredentials& Credentials, const std::string& Workstation,
                             const std::string& Challenge, uint64_t FileTime, const std::string& ClientNonce,
                             std::string& Out) {
    // The proxy's bytes: every offset is checked before it is read.
    if (Challenge.size() < 32 || Challenge.compare(0, 8, std::string(kSignature, 8)) != 0 ||
        Get32(Challenge, 8) != 2)
        return false;
    const uint32_t flags = Get32(Challenge, 20);
    const std::string serverChallenge = Challenge.substr(24, 8);
    std::string targetInfo;
    // Only a challenge that says it carries target information has it where the field says.
    if ((flags & kTargetInfo) != 0 && Challenge.size() >= 48) {
        const uint32_t len = Get16(Challenge, 40), off = Get32(Challenge, 44);
        if (off > Challenge.size() || len > Challenge.size() - off) return false;
        targetInfo = Challenge.substr(off, len);
    }
    std::string domain, user;
    SplitUser(Credentials.User, domain, user);
    // Without Unicode the names go as they are: ASCII names read the same in any OEM page.
    const bool unicode = (flags & kUnicode) != 0;
    auto text = [&](const std::string& s) { return unicode ? Utf16Le(s) : s; };

    const std::string v2Hash = NtlmV2Hash(user, domain, Credentials.Password);
    std::string blob = std::string("\x01\x01\0\0\0\0\0\0", 8);
    for (int i = 0; i < 8; ++i) blob += char((FileTime >> (8 * i)) & 0xFF);
    blob += ClientNonce;
    blob += std::string(4, '\0') + targetInfo + std::string(4, '\0');
    const std::string ntResponse = HmacMd5(v2Hash, serverChallenge + blob) + blob;
    const std::string lmResponse = HmacMd5(v2Hash, serverChallenge + ClientNonce) + ClientNonce;

    TMessage m;
    m.headSize = 64;
    m.head.assign(kSignature, 8);
    Put32(m.head, 3);
    m.Field(lmResponse);
    m.Field(ntResponse);
    m.Field(text(domain));
    m.Field(text(user));
    m.Field(text(Workstation));
    m.Field(std::string());  // no session key: nothing is signed or sealed
    Put32(m.head, (unicode ? kUnicode : kOem) | kRequestTarget | kNtlm | kAlwaysSign |
                      (flags & (kExtendedSecurity | k128 | k56)));
    Out = m.head + m.payload;
    return true;
}

}  // namespace http
