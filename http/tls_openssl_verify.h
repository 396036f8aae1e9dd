#pragma once
// Peer verification for the OpenSSL plug-in: the chain against the system's trust store (and
// a named CA file), the host name or IP address against the certificate, and a clear text
// for each way it fails.
#include <openssl/ssl.h>

#include <string>

namespace http {

// Asks Ssl to verify its peer as Host, against the trust store of its context. False with
// Error when it cannot even start (no host to check).
bool SetUpPeerVerification(SSL* Ssl, const std::string& Host, std::string& Error);
// Why a handshake failed its verification, naming Host; empty when verification passed.
std::string PeerVerificationFailure(SSL* Ssl, const std::string& Host);

}  // namespace http
