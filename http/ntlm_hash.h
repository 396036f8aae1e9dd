#pragma once
// The digests NTLM is built on (MD4 for the password hash, HMAC-MD5 for the NTLMv2
// responses). NTLM needs them on every platform and no cryptographic library of ours offers
// MD4 without legacy switches, so they are written here; they protect nothing else.
#include <string>
#include <string_view>

namespace http {

std::string Md4(std::string_view Data);  // 16 bytes
std::string Md5(std::string_view Data);  // 16 bytes
std::string HmacMd5(std::string_view Key, std::string_view Data);

}  // namespace http
