#pragma once
// The digests NTLM is built on (MD4 for the password hash, HMAC-MD5 for the NTLMv2
// responses), from the platform's cryptographic library: OpenSSL on Linux (MD4 from its
// legacy provider), CNG on Windows. They protect nothing but the NTLM exchange. A digest the
// library does not offer raises EProxyAuthError, naming what is missing.
#include <string>
#include <string_view>

namespace http {

std::string Md4(std::string_view Data);  // 16 bytes
std::string Md5(std::string_view Data);  // 16 bytes
std::string HmacMd5(std::string_view Key, std::string_view Data);

}  // namespace http
