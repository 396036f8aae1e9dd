// NTLM against published answers: the digests, the NTLMv2 key and responses, and challenges
// a hostile proxy may send.
#include <gtest/gtest.h>

#include <cstdint>

#include "http/ntlm_auth.h"
#include "http/ntlm_hash.h"

#ifndef _WIN32
#include <openssl/err.h>
#include <openssl/evp.h>

#include <cstdlib>
#include <optional>

#include "tests/support/temp_dir.h"
#endif

using namespace http;

namespace {

std::string Hex(const std::string& bytes) {
    static const char digits[] = "0123456789abcdef";
    std::string out;
    for (unsigned char c : bytes) out += std::string{digits[c >> 4], digits[c & 15]};
    return out;
}

std::string Utf16(const std::string& ascii) {
    std::string out;
    for (char c : ascii) out += std::string{c, '\0'};
    return out;
}

uint32_t Field32(const std::string& m, size_t at) {
    uint32_t v = 0;
    for (size_t i = 0; i < 4; ++i) v |= uint32_t(static_cast<unsigned char>(m[at + i])) << (8 * i);
    return v;
}

// The bytes a security buffer at Offset of Message points to.
std::string Buffer(const std::string& Message, size_t Offset) {
    const uint32_t len = Field32(Message, Offset) & 0xFFFF;
    const uint32_t at = Field32(Message, Offset + 4);
    return Message.substr(at, len);
}

// A challenge message with Unicode, the server challenge 0123456789abcdef and TargetInfo.
std::string ChallengeMessage(const std::string& TargetInfo) {
    std::string m("NTLMSSP\0\x02\0\0\0", 12);
    m += std::string("\0\0\0\0\x30\0\0\0", 8);      // no target name
    m += std::string("\x01\x02\x88\0", 4);          // flags: Unicode, NTLM, extended security, target info
    m += std::string("\x01\x23\x45\x67\x89\xab\xcd\xef", 8);
    m += std::string(8, '\0');
    const auto n = static_cast<char>(TargetInfo.size());
    m += std::string{n, '\0', n, '\0', '\x30', '\0', '\0', '\0'};
    return m + TargetInfo;
}

TEST(NtlmDigests, KnownAnswers) {
    EXPECT_EQ(Hex(Md4("")), "31d6cfe0d16ae931b73c59d7e0c089c0");
    EXPECT_EQ(Hex(Md4("abc")), "a448017aaf21d8525fc10ae87aa6729d");
    EXPECT_EQ(Hex(Md4("12345678901234567890123456789012345678901234567890123456789012345678901234567890")),
              "e33b4ddc9c38f2199c3e7b164fcc0536");
    EXPECT_EQ(Hex(Md5("")), "d41d8cd98f00b204e9800998ecf8427e");
    EXPECT_EQ(Hex(Md5("abc")), "900150983cd24fb0d6963f7d28e17f72");
    EXPECT_EQ(Hex(Md5("12345678901234567890123456789012345678901234567890123456789012345678901234567890")),
              "57edf4a22be3c955ac49da2e2107b67a");
    EXPECT_EQ(Hex(HmacMd5(std::string(16, '\x0b'), "Hi There")), "9294727a3638bb1c13f48ef8158bfc9d");
    EXPECT_EQ(Hex(HmacMd5("Jefe", "what do ya want for nothing?")), "750c783e6ab0b503eaa86e310a5db738");
    EXPECT_EQ(Hex(HmacMd5(std::string(80, '\xaa'), "Test Using Larger Than Block-Size Key - Hash Key First")),
              "6b1ab7fe4bd7bf8f0b62e6ce61b9d0cd");
    EXPECT_EQ(Hex(Md4(Utf16("Password"))), "a4f49c406510bdcab6824ee7c30fd852");
}

#ifndef _WIN32
// MD4 comes from OpenSSL's legacy provider, loaded for that one digest: the process's own
// library context offers no more afterwards than before, and without the provider the error
// says what is missing.
TEST(NtlmDigests, Md4FromTheLegacyProviderAlone) {
    auto defaultOffersMd4 = [] {
        EVP_MD* md = EVP_MD_fetch(nullptr, "MD4", nullptr);
        EVP_MD_free(md);
        ERR_clear_error();
        return md != nullptr;
    };
    const bool before = defaultOffersMd4();
    EXPECT_EQ(Hex(Md4("abc")), "a448017aaf21d8525fc10ae87aa6729d");
    EXPECT_EQ(defaultOffersMd4(), before);

    const TempDir empty("zel-no-modules");
    const char* old = std::getenv("OPENSSL_MODULES");
    const std::optional<std::string> saved = old ? std::optional<std::string>(old) : std::nullopt;
    ::setenv("OPENSSL_MODULES", empty.Path().c_str(), 1);
    std::string error = "no error";
    try {
        Md4("abc");
    } catch (const EProxyAuthError& e) {
        error = e.what();
    }
    saved ? (void)::setenv("OPENSSL_MODULES", saved->c_str(), 1) : (void)::unsetenv("OPENSSL_MODULES");
    const std::string expected =
        "NTLM needs the MD4 digest, which OpenSSL does not offer here: its legacy provider (legacy.so in the folder "
        "OPENSSL_MODULES or the build names) cannot be loaded: ";
    EXPECT_EQ(error.substr(0, expected.size()), expected) << error;
    EXPECT_EQ(Hex(Md5("abc")), "900150983cd24fb0d6963f7d28e17f72") << "MD5 needs no legacy provider";
    EXPECT_EQ(Hex(Md4("abc")), "a448017aaf21d8525fc10ae87aa6729d") << "loaded again once it is there";
}
#endif

// The example of the NTLM documentation: user "User", domain "Domain", password "Password",
// time 0, client challenge aaaaaaaaaaaaaaaa.
TEST(NtlmMessages, AuthenticateMessageAnswersTheChallenge) {
    EXPECT_EQ(Hex(NtlmV2Hash("User", "Domain", "Password")), "0c868a403bfd7a93a3001ef22ef02e3f");
    const std::string targetInfo = std::string("\x02\0\x0c\0", 4) + Utf16("Domain") + std::string("\x01\0\x0c\0", 4) +
                                   Utf16("Server") + std::string(4, '\0');
    std::string out;
    ASSERT_TRUE(NtlmAuthenticateMessage({"Domain\\User", "Password"}, "WS", ChallengeMessage(targetInfo), 0,
                                        std::string(8, '\xaa'), out));
    EXPECT_EQ(out.substr(0, 12), std::string("NTLMSSP\0\x03\0\0\0", 12));
    EXPECT_EQ(Hex(Buffer(out, 12)), "86c35097ac9cec102554764a57cccc19aaaaaaaaaaaaaaaa");
    const std::string nt = Buffer(out, 20);
    EXPECT_EQ(Hex(nt.substr(0, 16)), "68cd0ab851e51c96aabc927bebef6a1c");
    EXPECT_EQ(nt.substr(16 + 28, targetInfo.size()), targetInfo) << "the proxy's target information is signed";
    EXPECT_EQ(Buffer(out, 28), Utf16("Domain"));
    EXPECT_EQ(Buffer(out, 36), Utf16("User"));
    EXPECT_EQ(Buffer(out, 44), Utf16("WS"));
}

TEST(NtlmMessages, MalformedChallengesAreRefused) {
    const std::string good = ChallengeMessage(std::string(4, '\0'));
    std::string lying = good;
    lying[40] = '\x7f';  // target information longer than the message
    std::string farOff = good;
    farOff[44] = '\x7f';  // and starting past its end
    const struct {
        const char* name;
        std::string message;
    } cases[] = {
        {"empty", ""},
        {"too short", good.substr(0, 31)},
        {"wrong signature", "NTLMSSQ" + good.substr(7)},
        {"a negotiate message", std::string("NTLMSSP\0\x01", 9) + good.substr(9)},
        {"target information past the end", lying},
        {"target information offset past the end", farOff},
    };
    for (const auto& c : cases) {
        std::string out;
        EXPECT_FALSE(NtlmAuthenticateMessage({"u", "p"}, "", c.message, 0, std::string(8, 'n'), out)) << c.name;
    }
    std::string out;
    EXPECT_TRUE(NtlmAuthenticateMessage({"u", "p"}, "", good, 0, std::string(8, 'n'), out));
    // Without the target-information flag the field is not read: squid's own challenge has
    // a name where that field would be.
    std::string noInfo = farOff;
    noInfo[22] = '\x08';
    EXPECT_TRUE(NtlmAuthenticateMessage({"u", "p"}, "", noInfo, 0, std::string(8, 'n'), out));
}

}  // namespace
