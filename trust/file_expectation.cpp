#include "trust/file_expectation.h"

#include "crypto/crypto.h"
#include "platform/file_utils.h"

using namespace platform;

namespace trust {

std::string MismatchOf(const std::string& FileName, const std::string& Alias, const TFileExpectation& Expected) {
    if (Expected.Size >= 0) {
        const int64_t size = FileSizeOf(FileName);  // the platform's file names, wide ones on Windows
        if (int64_t(size) != Expected.Size)
            return Alias + " is " + std::to_string(int64_t(size)) + " bytes long, not the " +
                   std::to_string(Expected.Size) + " bytes the server INI gives.";
    }
    if (!Expected.Sha256.empty()) {
        const std::string got = crypto::ToHex(crypto::Sha256OfFile(FileName));
        if (got != Expected.Sha256)
            return Alias + " does not match the SHA256 the server INI gives (received " + got + ").";
    }
    return "";
}

}  // namespace trust
