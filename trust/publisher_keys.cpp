#include "trust/publisher_keys.h"

#include <algorithm>

#include "crypto/crypto.h"

namespace trust {

std::vector<std::string> SplitKeys(const std::string& Value) {
    std::vector<std::string> keys;
    size_t at = 0;
    while (at <= Value.size()) {
        const size_t comma = std::min(Value.find(',', at), Value.size());
        const std::string part = Value.substr(at, comma - at);
        const size_t b = part.find_first_not_of(" \t\r\n");
        if (b != std::string::npos) keys.push_back(part.substr(b, part.find_last_not_of(" \t\r\n") - b + 1));
        at = comma + 1;
    }
    return keys;
}

std::vector<std::string> TrustedKeys(const std::string& LocalPublicKey) {
    std::vector<std::string> keys = SplitKeys(BuiltInPublisherKeys());
    for (const auto& k : SplitKeys(LocalPublicKey))
        if (std::find(keys.begin(), keys.end(), k) == keys.end()) keys.push_back(k);
    return keys;
}

bool IsPublicKey(const std::string& Key) {
    // The key is read before the signature: an empty signature tells a key from no key.
    return crypto::VerifyP256(Key, "", "") != crypto::TVerifyResult::BadKey;
}

}  // namespace trust
