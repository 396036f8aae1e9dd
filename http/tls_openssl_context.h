#pragma once
// The run's OpenSSL client contexts and the sessions they resume. Making a context with a trust
// store costs time, so each verification setting gets one context for the whole run; every
// connection of the run makes its TLS object from it.
#include <openssl/ssl.h>

#include <string>

namespace http {

// The run's context for a verification setting (with VerifyCert: the system's store and, when
// named, CAFile). Owned by the run; null with Error when it cannot be made, for example when
// CAFile does not load, and then tried again on the next connection.
SSL_CTX* RunClientContext(bool VerifyCert, const std::string& CAFile, std::string& Error);

// Tests only: the contexts made from now on load the default CA file whole, as the library
// does, to compare with the lookup that reads it on demand.
void LoadDefaultTrustFileEagerly(bool Eager);

// Offers Ssl the last session received under Key and files the sessions it receives under
// Key. Key names everything the session was checked against (peer, host name, ciphers), so a
// session is never offered to another host. An empty Key resumes nothing.
void ResumeSessionsOf(SSL* Ssl, const std::string& Key);
// A connection under Key failed: its session is not offered again.
void ForgetSession(SSL* Ssl, const std::string& Key);

}  // namespace http
