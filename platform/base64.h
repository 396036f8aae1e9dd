#pragma once
#include <string>
#include <string_view>

namespace platform {

// RFC 4648 Base64 with "=" fill (credentials in Authorization lines).
std::string EncodeBase64(std::string_view Bytes);
// Strict RFC 4648 Base64 (padding optional, blanks only around it): false for anything else,
// so a key that does not decode cleanly is a wrong key, not a key to guess at.
bool DecodeBase64Strict(std::string_view In, std::string& Out);

}  // namespace platform
