// The parts of the interface that need no library of their own.
#include "crypto/crypto.h"
#include "platform/file_utils.h"

namespace crypto {

TSha256Digest Sha256(std::string_view Bytes) {
    TSha256 h;
    h.Update(Bytes.data(), Bytes.size());
    return h.Final();
}

TSha256Digest Sha256OfFile(const std::string& FileName) {
    TSha256 h;
    // The platform's file names (wide ones on Windows), read in pieces.
    platform::ReadFileInPieces(FileName, [&h](const char* p, size_t n) { h.Update(p, n); });
    return h.Final();
}

std::string ToHex(const TSha256Digest& Digest) {
    static const char kDigits[] = "0123456789abcdef";
    std::string out;
    out.reserve(Digest.size() * 2);
    for (uint8_t b : Digest) {
        out += kDigits[b >> 4];
        out += kDigits[b & 15];
    }
    return out;
}

}  // namespace crypto
