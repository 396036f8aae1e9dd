#include "platform/update_utils.h"

#include <exception>

#include "platform/errors.h"
#include "platform/file_version.h"
#include "platform/strconv.h"

using namespace platform;

namespace {
uint16_t PartValue(const std::string& part) {
    int32_t v = 0;
    if (!TryStrToInt(part, v)) return 0;
    return uint16_t(uint32_t(v));  // modulo 65536: -1 is 65535, 65536 is 0
}
}  // namespace

void ParseVersionStr(TFileVerRec& Rec) {
    try {
        Rec.Version = {};
        std::string part;
        size_t counter = 0;
        for (char c : Rec.VersionStr) {
            if (c != '.') {
                part += c;
                continue;
            }
            // A fifth dot and beyond would leave the record; those parts are dropped and
            // the text after the last dot still becomes the build number.
            if (++counter <= 4) Rec.Version[counter] = PartValue(part);
            part.clear();
        }
        if (!part.empty()) Rec.Version[4] = PartValue(part);
    } catch (EUpdaterError& e) {
        e.SetMessage("Version number conversion error: " + e.Message());
        throw;
    } catch (const std::exception& e) {
        throw EUpdaterError(std::string("Version number conversion error: ") + e.what());
    }
}

TFileVerRec VersionRecOf(const TPeFileVersion& V) {
    TFileVerRec rec;
    rec.Version[1] = uint16_t(V.FileVersionMS >> 16);
    rec.Version[2] = uint16_t(V.FileVersionMS & 0xFFFF);
    rec.Version[3] = uint16_t(V.FileVersionLS >> 16);
    rec.Version[4] = uint16_t(V.FileVersionLS & 0xFFFF);
    return rec;
}

void ReadFileVersion(const std::string& FileName, uint16_t& Major, uint16_t& Minor, uint16_t& Release, uint16_t& Build,
                     std::string& VersionStr) {
    const TFileVerRec rec =
        VersionRecOf(VersionOrNone([&](TPeFileVersion& V) { return ReadSystemFileVersion(FileName, V); }));
    Major = rec.Version[1], Minor = rec.Version[2], Release = rec.Version[3], Build = rec.Version[4];
    VersionStr = Format("%d.%d.%d.%d", Major, Minor, Release, Build);
}

bool IsVersionNewer(TFileVerRec A, TFileVerRec B) {
    if (!A.VersionStr.empty()) ParseVersionStr(A);
    if (!B.VersionStr.empty()) ParseVersionStr(B);
    for (size_t i = 1; i <= 4; ++i)
        if (A.Version[i] != B.Version[i]) return A.Version[i] > B.Version[i];
    return false;
}

bool FileVersionAtLeast(const std::string& FileName, const std::string& VersionText) {
    TFileVerRec file;
    std::string ignored;
    ReadFileVersion(FileName, file.Version[1], file.Version[2], file.Version[3], file.Version[4], ignored);
    TFileVerRec text;
    text.VersionStr = VersionText;
    ParseVersionStr(text);
    return !IsVersionNewer(text, file);
}
