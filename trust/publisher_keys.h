#pragma once
// The publisher's keys a workstation trusts: those built into the program by its vendor and
// those its local INI names in PUBLICKEY, each the base64 text of a DER P-256 public key,
// several separated by commas so that a publisher can move from one key to the next.
#include <string>
#include <vector>

namespace trust {

// The keys of a PUBLICKEY or NEWPUBLICKEY value, blanks around each removed, empty ones dropped.
std::vector<std::string> SplitKeys(const std::string& Value);

// The keys this build was made with (empty in the default build).
const char* BuiltInPublisherKeys();

// The built-in keys followed by those of LocalPublicKey that are not among them: a local
// INI may add keys but never take a built-in one away.
std::vector<std::string> TrustedKeys(const std::string& LocalPublicKey);

// Whether Key is the base64 text of a P-256 public key.
bool IsPublicKey(const std::string& Key);

}  // namespace trust
