#pragma once
// The portable version reader on a file already open, for POSIX files only.
#include <cstdint>

#include "platform/pe_version.h"

namespace platform {

// Fd: a regular file of Size bytes, open for reading; its position is left as it was.
bool ReadPeVersionOfOpenFile(int Fd, uint64_t Size, TPeFileVersion& Version, TPeReadStats* Stats);

}  // namespace platform
