#pragma once
// The fixed file version of a file as the system reads it: Windows' version API on Windows,
// the portable PE reader (pe_version.h) elsewhere. False when the file has none.
#include <string>

#include "platform/pe_version.h"

namespace platform {

bool ReadSystemFileVersion(const std::string& FileName, TPeFileVersion& Version);

}  // namespace platform
