#pragma once
// UpdateUtils: version records and their comparison, plus the process runner and the
// elevation probe (declared with the OS services they stand on).
#include <array>
#include <cstdint>
#include <string>

#include "platform/os_services.h"
#include "platform/pe_version.h"

// A file version: Version[1] major, [2] minor, [3] release, [4] build ([0] is unused, so the
// numbers keep their customary indices). When VersionStr is not empty it governs and the
// comparison reads the numbers again from it.
struct TFileVerRec {
    std::array<uint16_t, 5> Version{};
    std::string VersionStr;
};

// Sets Rec.Version from Rec.VersionStr (an empty text clears the numbers). Each dot-separated
// part converts as an integer (0 when it does not) kept modulo 65536; the text after the
// last dot is always the build number, so "1.2.3" is 1.2.0.3. Never fails on bad text; an
// exhausted resource is raised as "Version number conversion error: ...".
void ParseVersionStr(TFileVerRec& Rec);

// The fixed file version of FileName's version resource. Never fails: a missing file or one
// without version information gives 0.0.0.0 and the text "0.0.0.0".
void ReadFileVersion(const std::string& FileName, uint16_t& Major, uint16_t& Minor, uint16_t& Release, uint16_t& Build,
                     std::string& VersionStr);
// The numbers of a version resource (VersionStr empty).
TFileVerRec VersionRecOf(const platform::TPeFileVersion& Version);

// True when A is strictly newer than B.
bool IsVersionNewer(TFileVerRec A, TFileVerRec B);

// True when the file's version is VersionText's version or newer.
bool FileVersionAtLeast(const std::string& FileName, const std::string& VersionText);
