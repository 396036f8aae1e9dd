// Hashes and signatures against the openssl command line: keys and signatures are made by
// the tool a publisher uses, and what the updater writes is checked by it.
#include <gtest/gtest.h>

#include <string>

#include "crypto/crypto.h"
#include "platform/errors.h"
#include "tests/support/run_command.h"
#include "tests/support/temp_dir.h"
#include "tests/support/test_keys.h"
#include "trust/file_expectation.h"

using namespace platform;
using namespace trust;

namespace {
TEST(Sha256, FromAFile) {
    TempDir dir;
    const std::string bytes(200000, 'a');
    dir.Write("f", bytes);
    EXPECT_EQ(crypto::Sha256OfFile(dir.File("f")), crypto::Sha256(bytes));
    EXPECT_THROW(crypto::Sha256OfFile(dir.File("missing")), EUpdaterError);
}

class Signatures : public ::testing::Test {
protected:
    void SetUp() override {
        std::string error;
        ASSERT_TRUE(MakePublisherKey(dir.Path(), "publisher", key, error)) << error;
        ASSERT_TRUE(MakePublisherKey(dir.Path(), "other", other, error)) << error;
        data = dir.Write("data.ini", "FOUNDIT\r\nFILECOUNT=0\r\n");
        ASSERT_TRUE(SignWithOpenssl(key, data, error)) << error;
        signature = dir.Read("data.ini.sig");
        dir.Write("other.ini", "FOUNDIT\r\nFILECOUNT=0\r\n");
        ASSERT_TRUE(SignWithOpenssl(other, dir.File("other.ini"), error)) << error;
    }
    TempDir dir;
    PublisherKey key, other;
    std::string data, signature;
};

TEST_F(Signatures, VerifyTellsEachKindOfFailureApart) {
    using R = crypto::TVerifyResult;
    const std::string bytes = dir.Read("data.ini");
    std::string changed = bytes;
    changed[3] ^= 1;
    PublisherKey rsa, p384;
    std::string error;
    ASSERT_TRUE(MakePublisherKey(dir.Path(), "rsa", rsa, error, "rsa")) << error;
    ASSERT_TRUE(MakePublisherKey(dir.Path(), "p384", p384, error, "ec -pkeyopt ec_paramgen_curve:P-384")) << error;
    struct Case {
        const char* what;
        std::string key, data, sig;
        R want;
    } cases[] = {
        {"the publisher's signature", key.PublicBase64, bytes, signature, R::Valid},
        {"key text with a line end, as an editor leaves it", key.PublicBase64 + "\r\n", bytes, signature, R::Valid},
        {"one byte changed after signing", key.PublicBase64, changed, signature, R::Mismatch},
        {"signed with another key", key.PublicBase64, bytes, dir.Read("other.ini.sig"), R::Mismatch},
        {"truncated signature", key.PublicBase64, bytes, signature.substr(0, signature.size() - 5), R::Malformed},
        {"signature with trailing bytes", key.PublicBase64, bytes, signature + "x", R::Malformed},
        {"empty signature", key.PublicBase64, bytes, "", R::Malformed},
        {"key that is not base64", "not*base64", bytes, signature, R::BadKey},
        {"key cut short", key.PublicBase64.substr(0, 40), bytes, signature, R::BadKey},
        {"RSA key", rsa.PublicBase64, bytes, signature, R::BadKey},
        {"P-384 key", p384.PublicBase64, bytes, signature, R::BadKey},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        EXPECT_EQ(crypto::VerifyP256(c.key, c.data, c.sig), c.want);
    }
}

TEST_F(Signatures, WhatWeSignTheOpensslCommandAccepts) {
    const std::string sig = crypto::SignP256(dir.Read("publisher.pem"), dir.Read("data.ini"));
    dir.Write("ours.sig", sig);
    const CommandResult r = RunCommand("openssl dgst -sha256 -verify '" + key.PublicPem + "' -signature '" +
                                       dir.File("ours.sig") + "' '" + data + "' 2>&1");
    EXPECT_EQ(r.code, 0) << r.output;
    EXPECT_EQ(crypto::VerifyP256(key.PublicBase64, dir.Read("data.ini"), sig), crypto::TVerifyResult::Valid);
    EXPECT_THROW(crypto::SignP256(dir.Read("rsa-missing.pem"), "x"), EUpdaterError);

    std::string error;
    EXPECT_EQ(crypto::PublicKeyBase64FromPem(dir.Read("publisher.pub.pem"), error), key.PublicBase64);
    EXPECT_EQ(crypto::PublicKeyBase64FromPem(dir.Read("publisher.pem"), error), key.PublicBase64)
        << "a private key gives its public half";
    EXPECT_EQ(crypto::PublicKeyBase64FromPem("no key here", error), "");
    EXPECT_FALSE(error.empty());
}
}  // namespace
