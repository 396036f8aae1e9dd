#pragma once
// The own-file identity check on a file already examined, for POSIX files only.
#include <sys/stat.h>

#include <string>
#include <vector>

namespace platform {

// Whether the file St describes (not a folder) is the same file as any of Others.
bool IdentityIsAnyOf(const struct stat& St, const std::vector<std::string>& Others);

}  // namespace platform
