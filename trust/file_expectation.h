#pragma once
// What the server INI promises about one listed file: its SHA-256 and its size in bytes.
// Both are optional; the transfer file must match what is given before it replaces the
// installed file.
#include <cstdint>
#include <string>

#include "server_ini/server_ini.h"

namespace trust {

struct TFileExpectation {
    std::string Sha256;  // 64 lower-case hexadecimal digits; empty: not given
    int64_t Size = -1;   // -1: not given
    bool Any() const { return !Sha256.empty() || Size >= 0; }
};

// What the entry promises (the server INI's reading refuses a malformed promise).
inline TFileExpectation ExpectationOf(const serverini::TServerIniEntry& Entry) { return {Entry.Sha256, Entry.Size}; }

// Empty when the file FileName matches; otherwise why not, naming Alias. Raises
// EUpdaterError when the file cannot be read.
std::string MismatchOf(const std::string& FileName, const std::string& Alias, const TFileExpectation& Expected);

}  // namespace trust
