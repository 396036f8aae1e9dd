#include "platform/file_version.h"

namespace platform {

bool ReadSystemFileVersion(const std::string& FileName, TPeFileVersion& Version) {
    return ReadPeFileVersion(FileName, Version);
}

}  // namespace platform
