#pragma once
// Peer verification for the Schannel plug-in, with the texts the OpenSSL plug-in gives: the
// chain against the Windows certificate store (and a named CA file), then the host name or
// IP address against the certificate, then its validity period. Included by _win files only.
// Windows headers depend on their order.
// clang-format off
#define SECURITY_WIN32
#include <windows.h>
#include <security.h>
// clang-format on

#include <string>

namespace http {

// Empty when the peer of Context is trusted for Host; otherwise why not.
std::string SchannelPeerVerificationFailure(CtxtHandle* Context, const std::string& Host, const std::string& CAFile);

}  // namespace http
