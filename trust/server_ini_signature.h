#pragma once
// A server INI is the publisher's when its detached signature (fetched from the INI's URL +
// ".sig") verifies over the exact bytes received, against the public key the workstation
// trusts. Each way of failing has its own text, naming the location.
#include <string>
#include <vector>

#include "platform/errors.h"

namespace trust {

// A refusal on the publisher's behalf: a signature, hash or size that does not hold.
class ETrustError : public platform::EUpdaterError {
public:
    using platform::EUpdaterError::EUpdaterError;
};

inline constexpr char kSignatureSuffix[] = ".sig";

// Raises ETrustError unless Signature verifies over IniBytes with one of Keys (base64 DER).
// A key that cannot be read is named only when no other key verifies.
void CheckServerIniSignature(const std::vector<std::string>& Keys, const std::string& Url, const std::string& IniBytes,
                             const std::string& Signature);
// The error for a server INI whose signature could not be fetched.
ETrustError MissingSignatureError(const std::string& Url, const std::string& Why);

}  // namespace trust
