#include "platform/file_version.h"

bool ReadSystemFileVersion(const std::string& FileName, TPeFileVersion& Version) {
    return ReadPeFileVersion(FileName, Version);
}
