#include "trust/file_expectation.h"

#include <cctype>

#include "crypto/crypto.h"
#include "platform/errors.h"
#include "platform/file_utils.h"
#include "platform/shown_text.h"

using namespace platform;

namespace trust {

namespace {
std::string Key(int n, const char* suffix) { return "FILE" + std::to_string(n) + suffix; }

std::string Unblanked(const std::string& s) {
    const size_t b = s.find_first_not_of(" \t");
    if (b == std::string::npos) return "";
    return s.substr(b, s.find_last_not_of(" \t") - b + 1);
}

[[noreturn]] void Malformed(const std::string& key, const std::string& value, const char* want) {
    throw EUpdaterError("Problem with configuration file.  " + key + " \"" + ShownText(value) + "\" is not " + want +
                        ".");
}
}  // namespace

TFileExpectation ReadFileExpectation(const TStringList& ServerIni, int n) {
    TFileExpectation e;
    const std::string hash = Unblanked(ServerIni.Values(Key(n, "SHA256")));
    if (!hash.empty()) {
        if (hash.size() != 64) Malformed(Key(n, "SHA256"), hash, "64 hexadecimal digits");
        for (char c : hash) {
            if (!std::isxdigit(static_cast<unsigned char>(c)))
                Malformed(Key(n, "SHA256"), hash, "64 hexadecimal digits");
            e.Sha256 += char(std::tolower(static_cast<unsigned char>(c)));
        }
    }
    const std::string size = Unblanked(ServerIni.Values(Key(n, "SIZE")));
    if (!size.empty()) {
        if (size.size() > 18) Malformed(Key(n, "SIZE"), size, "a size in bytes");
        e.Size = 0;
        for (char c : size) {
            if (c < '0' || c > '9') Malformed(Key(n, "SIZE"), size, "a size in bytes");
            e.Size = e.Size * 10 + (c - '0');
        }
    }
    return e;
}

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
