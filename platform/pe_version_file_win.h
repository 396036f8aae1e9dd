#pragma once
// A disk file opened for the PE reader (Windows): shared by the portable reading and the guard
// in front of the system's own.
#include <functional>
#include <string>

#include "platform/pe_version.h"

namespace platform {

// Opens FileName (a disk file only: a pipe or device could block or never end) and hands it to
// Use as a PE source; false when it cannot be opened, else what Use returns.
bool WithPeDiskFile(const std::string& FileName, TPeReadStats* Stats, const std::function<bool(TPeFileSource&)>& Use);

}  // namespace platform
