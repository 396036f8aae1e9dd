// The parts of the interface that need no library of their own.
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <vector>

#include "crypto/crypto.h"
#include "platform/errors.h"

namespace crypto {

TSha256Digest Sha256(std::string_view Bytes) {
    TSha256 h;
    h.Update(Bytes.data(), Bytes.size());
    return h.Final();
}

TSha256Digest Sha256OfFile(const std::string& FileName) {
    std::unique_ptr<std::FILE, int (*)(std::FILE*)> f(std::fopen(FileName.c_str(), "rb"), &std::fclose);
    if (!f) throw EUpdaterError("Cannot open file \"" + FileName + "\". " + std::strerror(errno));
    TSha256 h;
    std::vector<char> buf(1 << 16);
    for (;;) {
        const size_t n = std::fread(buf.data(), 1, buf.size(), f.get());
        if (n > 0) h.Update(buf.data(), n);
        if (n < buf.size()) break;
    }
    if (std::ferror(f.get())) throw EUpdaterError("Cannot read file \"" + FileName + "\".");
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
