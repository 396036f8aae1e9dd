// Known answers every crypto backend must give alike (OpenSSL on Linux, CNG on Windows): the
// same server INI signature may not pass on one workstation and fail on another. This file is
// part of both builds' crypto tests; README.md beside it says how the signatures were made.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "crypto/crypto.h"

namespace {

struct TDigestCase {
    const char* name;
    std::string data;
    const char* sha256;
};

std::vector<TDigestCase> DigestCases() {
    return {
        {"empty", "", "e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855"},
        {"abc", "abc", "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad"},
        {"two blocks", "abcdbcdecdefdefgefghfghighijhijkijkljklmklmnlmnomnopnopq",
         "248d6a61d20638b8e5c026930c3e6039a33ce45964ff2167f6ecedd419db06c1"},
        {"a million a", std::string(1000000, 'a'), "cdc76e5c9914fb9281a1c7e284d73e67f1809a48a497200e046d39ccc7112cd0"},
    };
}

// The publisher's key (PUBLICKEY as the local INI holds it) and the bytes it signed.
const char* const kPublicKey =
    "MFkwEwYHKoZIzj0CAQYIKoZIzj0DAQcDQgAEuHOwQBEPxZoVYdZaDy9wd6nTuEDTdUsaK+VDPWL6DzFzylA3SWmyYDONqZOsCLic5doUDa7OLdf6"
    "OUUy6Y84tA==";
const char* const kSignedData = "FOUNDIT=1\r\nFILECOUNT=0\r\n";

struct TSignatureCase {
    const char* name;
    std::string derHex;
    crypto::TVerifyResult want;
};

// DER gives r and s 31 to 33 bytes: one signature in 128 has a short one, one in two a zero in
// front of a high bit. Encodings that are not DER, and a negative r or s, are refused as
// malformed; values no signature can have (zero, wider than the curve) as a mismatch.
std::vector<TSignatureCase> SignatureCases() {
    using R = crypto::TVerifyResult;
    const std::string r = "7ed492db06284ff18b6458af84e619f4e471fae09c37e61b80e5e81984b7ebd5";
    const std::string s = "02202cf2e1332a04992e516d0ae1031d8360b80a408f8879cd88ab496bda31b4c938";  // with its head
    return {
        {"r and s of 32 bytes", "30440220" + r + s, R::Valid},
        {"r and s of 33 bytes, a zero in front of a high bit",
         "3046022100c00338b551185519aaca79dd0123af85846b7be80c6b6f99962f7afb3a2ac8cb022100c4e4ef060446f4969b98b06f940ba"
         "d"
         "14d6fc055ea6088a7e61986c3f3afb34a4",
         R::Valid},
        {"r of 31 bytes",
         "3043021f6321e8b5f3ecccd272d470eea3428f3038d0efdf2970307b371fbac779096402201d201a4f7aac9bfde2ca918e5248b1efe0e"
         "67c"
         "f2dfcb3e6ffd758f61d3cd0775",
         R::Valid},
        {"s of 31 bytes",
         "30430220392997bae4f6c6730eea4aa2be282de6a7415c521920af32e47915ba033ba17e021f70ecf50610709ca99a6b3c48d002d6eee"
         "b"
         "1a268e49cef9787aa24628610e9a",
         R::Valid},
        {"a needless zero in front of r", "3045022100" + r + s, R::Malformed},
        {"the sequence's length in the long form", "3081440220" + r + s, R::Malformed},
        {"r's length in the long form", "3045028120" + r + s, R::Malformed},
        {"r of no bytes", "30240200" + s, R::Malformed},
        {"r negative", "30440220fe" + r.substr(2) + s, R::Malformed},
        {"r zero", "3025020100" + s, R::Mismatch},
        {"r wider than the curve", "3045022101" + r + s, R::Mismatch},
    };
}

std::string FromHex(const std::string& Hex) {
    std::string out;
    for (size_t i = 0; i + 1 < Hex.size(); i += 2) out += char(std::stoi(Hex.substr(i, 2), nullptr, 16));
    return out;
}

// The digest must not depend on how the bytes arrive: whole, and in uneven pieces.
TEST(Sha256KnownAnswers, WholeAndInPieces) {
    for (const auto& c : DigestCases()) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(crypto::ToHex(crypto::Sha256(c.data)), c.sha256);
        crypto::TSha256 h;
        for (size_t at = 0; at < c.data.size(); at += 9973)
            h.Update(c.data.data() + at, std::min<size_t>(9973, c.data.size() - at));
        EXPECT_EQ(crypto::ToHex(h.Final()), c.sha256);
    }
}

TEST(SignatureKnownAnswers, EveryWidthOfRAndSAndWhatOnlyLooksLikeOne) {
    for (const auto& c : SignatureCases()) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(crypto::VerifyP256(kPublicKey, kSignedData, FromHex(c.derHex)), c.want);
    }
}
}  // namespace
