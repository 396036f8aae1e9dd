#pragma once
#include <string>
#include <string_view>

// RFC 4648 Base64 with "=" fill (credentials in Authorization lines).
std::string EncodeBase64(std::string_view Bytes);
