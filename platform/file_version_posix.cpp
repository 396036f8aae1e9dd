#include "platform/file_version.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

#include "platform/file_utils.h"
#include "platform/pe_version_file_posix.h"
#include "platform/same_file_posix.h"
#include "platform/unique_fd.h"

namespace platform {

bool ReadSystemFileVersion(const std::string& FileName, TPeFileVersion& Version) {
    return ReadPeFileVersion(FileName, Version);
}

TListedFileLook LookAtListedFile(const std::string& Path, const std::vector<std::string>& OwnPaths) {
    TListedFileLook look;
    // Read-only, without waiting (a FIFO) and without becoming a terminal's: the same open the
    // version read makes.
    UniqueFd fd(::open(Path.c_str(), O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK));
    struct stat st {};
    if (!fd.Valid() || ::fstat(fd.Get(), &st) != 0) {
        // A name that cannot be read may still be an own file's (say, a link to it): asked by name.
        if (errno != ENOENT && errno != ENOTDIR) look.ReachesOwnFile = IsSameFileAsAny(Path, OwnPaths);
        return look;
    }
    look.ReachesOwnFile = IdentityIsAnyOf(st, OwnPaths);
    // Only regular files: a FIFO or device could block or never end.
    if (look.ReachesOwnFile || !S_ISREG(st.st_mode)) return look;
    look.Version = VersionOrNone(
        [&](TPeFileVersion& V) { return ReadPeVersionOfOpenFile(fd.Get(), uint64_t(st.st_size), V, nullptr); });
    return look;
}

}  // namespace platform
