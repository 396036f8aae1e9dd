#pragma once
// The fixed file version of a file as the system reads it: Windows' version API on Windows,
// the portable PE reader (pe_version.h) elsewhere. False when the file has none.
#include <string>
#include <vector>

#include "platform/pe_version.h"

namespace platform {

bool ReadSystemFileVersion(const std::string& FileName, TPeFileVersion& Version);

// What Read (a call that fills a version and says whether it could) gives, or 0.0.0.0 when it
// could not or raised: a version read never fails a caller.
template <typename TRead>
TPeFileVersion VersionOrNone(TRead Read) {
    TPeFileVersion v;
    try {
        if (Read(v)) return v;
    } catch (...) {
    }
    return {};
}

// What the file loop asks of every listed file: whether Path reaches one of OwnPaths (as
// IsSameFileAsAny tells) and its version (as ReadSystemFileVersion reads it; 0.0.0.0 when the
// read fails in any way). Where the system allows (POSIX) the name is opened once for both,
// so a long list costs one look-up of each name instead of two.
struct TListedFileLook {
    bool ReachesOwnFile = false;
    TPeFileVersion Version;
};
TListedFileLook LookAtListedFile(const std::string& Path, const std::vector<std::string>& OwnPaths);

}  // namespace platform
