#pragma once
// A server INI is the publisher's when its detached signature (fetched from the INI's URL +
// ".sig") verifies over the exact bytes received, against the public key the workstation
// trusts. Each way of failing has its own text, naming the location.
#include <string>

#include "platform/errors.h"

namespace trust {

// A refusal on the publisher's behalf: a signature, hash or size that does not hold.
class ETrustError : public platform::EUpdaterError {
public:
    using platform::EUpdaterError::EUpdaterError;
};

inline constexpr char kSignatureSuffix[] = ".sig";

// Raises ETrustError unless Signature verifies over IniBytes with PublicKeyBase64.
// SignatureMissing: the .sig could not be fetched (Why says how).
void CheckServerIniSignature(const std::string& PublicKeyBase64, const std::string& Url, const std::string& IniBytes,
                             const std::string& Signature);
// The error for a server INI whose signature could not be fetched.
ETrustError MissingSignatureError(const std::string& Url, const std::string& Why);

}  // namespace trust
