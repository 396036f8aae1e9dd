#include <windows.h>

#include <vector>

#include "platform/file_version.h"
#include "platform/file_utils.h"
#include "platform/pe_version_file_win.h"
#include "platform/wide_text_win.h"

namespace platform {

// Windows' own reading decides, for every file it can read: it looks the version up as
// VS_VERSION_INFO in the workstation's language, where the portable reader takes the first.
bool ReadSystemFileVersion(const std::string& FileName, TPeFileVersion& Version) {
    const std::wstring name = WidePath(FileName);
    // The system's reader trusts the file's offsets (Wine's reads past a truncated resource
    // section and faults): it gets only a disk file whose version records lie within the file.
    if (!WithPeDiskFile(FileName, nullptr, PeVersionRecordsInBounds)) return false;
    DWORD ignored = 0;
    const DWORD size = GetFileVersionInfoSizeW(name.c_str(), &ignored);
    if (size == 0) return false;
    std::vector<unsigned char> info(size, 0);
    if (!GetFileVersionInfoW(name.c_str(), 0, size, info.data())) return false;
    VS_FIXEDFILEINFO* fixed = nullptr;
    UINT len = 0;
    if (!VerQueryValueW(info.data(), L"\\", reinterpret_cast<void**>(&fixed), &len) || !fixed ||
        len < sizeof(VS_FIXEDFILEINFO) || fixed->dwSignature != 0xFEEF04BD)
        return false;
    Version.FileVersionMS = fixed->dwFileVersionMS;
    Version.FileVersionLS = fixed->dwFileVersionLS;
    return true;
}

TListedFileLook LookAtListedFile(const std::string& Path, const std::vector<std::string>& OwnPaths) {
    // The system's version reader takes a name, not a handle: two looks, as before.
    TListedFileLook look;
    look.ReachesOwnFile = IsSameFileAsAny(Path, OwnPaths);
    if (!look.ReachesOwnFile)
        look.Version = VersionOrNone([&](TPeFileVersion& V) { return ReadSystemFileVersion(Path, V); });
    return look;
}

}  // namespace platform
