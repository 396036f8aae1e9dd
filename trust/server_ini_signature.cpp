#include "trust/server_ini_signature.h"

#include "crypto/crypto.h"

namespace trust {

void CheckServerIniSignature(const std::vector<std::string>& Keys, const std::string& Url, const std::string& IniBytes,
                             const std::string& Signature) {
    bool badKey = false, malformed = false;
    for (const auto& key : Keys) {
        switch (crypto::VerifyP256(key, IniBytes, Signature)) {
        case crypto::TVerifyResult::Valid: return;
        case crypto::TVerifyResult::BadKey: badKey = true; break;
        case crypto::TVerifyResult::Malformed: malformed = true; break;
        case crypto::TVerifyResult::Mismatch: break;
        }
    }
    if (malformed)
        throw ETrustError("The signature of the server INI at " + Url + " is malformed (" + Url + kSignatureSuffix +
                          " is not an ECDSA signature); the server INI is not used.");
    if (badKey)
        throw ETrustError(
            "The PUBLICKEY in the local INI is not the base64 text of an ECDSA P-256 public key; "
            "the server INI at " +
            Url + " cannot be checked and is not used.");
    throw ETrustError("The server INI at " + Url +
                      " does not match its signature: it was changed after signing or signed with another key; "
                      "the server INI is not used.");
}

ETrustError MissingSignatureError(const std::string& Url, const std::string& Why) {
    return ETrustError("The server INI at " + Url + " is not signed: its signature " + Url + kSignatureSuffix +
                       " could not be fetched (" + Why + "); the server INI is not used.");
}

}  // namespace trust
