// Base64 of the proxy credentials: the RFC 4648 test vectors, and bytes above 0x7F.
#include <gtest/gtest.h>

#include "platform/base64.h"

using namespace platform;

TEST(SocketBase64, Rfc4648Vectors) {
    const std::pair<std::string, std::string> cases[] = {
        {"", ""},
        {"f", "Zg=="},
        {"fo", "Zm8="},
        {"foo", "Zm9v"},
        {"foob", "Zm9vYg=="},
        {"fooba", "Zm9vYmE="},
        {"foobar", "Zm9vYmFy"},
        {std::string("\xff\xfe\x00", 3), "//4A"},
        {"user:p\xe4ss", "dXNlcjpw5HNz"},
    };
    for (const auto& [in, out] : cases) EXPECT_EQ(EncodeBase64(in), out) << "input [" << in << "]";
}
