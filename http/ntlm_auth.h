#pragma once
// The NTLM messages, for a user name and password given.
#include <cstdint>
#include <string>

#include "http/proxy_auth.h"

namespace http {

// The NTLMv2 key of an account: HMAC-MD5 over the upper-case user and the domain, keyed with
// MD4 of the password (all UTF-16LE).
std::string NtlmV2Hash(const std::string& User, const std::string& Domain, const std::string& Password);
// The third message in answer to the proxy's Challenge (raw bytes), at FileTime (Windows
// time) with the 8-byte ClientNonce. False when Challenge is not a well-formed challenge.
bool NtlmAuthenticateMessage(const TProxyCredentials& Credentials, const std::string& Workstation,
                             const std::string& Challenge, uint64_t FileTime, const std::string& ClientNonce,
                             std::string& Out);

}  // namespace http
