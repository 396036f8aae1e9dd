#include <windows.h>

#include <vector>

#include "platform/file_version.h"
#include "platform/wide_text_win.h"

namespace platform {

bool ReadSystemFileVersion(const std::string& FileName, TPeFileVersion& Version) {
    // The system's reader trusts the file's offsets (Wine's reads past a truncated resource
    // section and faults): only a file whose version resource the bounds-checked reader finds
    // intact goes to it. The system's answer then governs, its choice of language included.
    TPeFileVersion checked;
    if (!ReadPeFileVersion(FileName, checked)) return false;
    const std::wstring name = WidePath(FileName);
    DWORD ignored = 0;
    const DWORD size = GetFileVersionInfoSizeW(name.c_str(), &ignored);
    if (size == 0) return false;
    std::vector<unsigned char> info(size, 0);
    if (!GetFileVersionInfoW(name.c_str(), 0, size, info.data())) return false;
    VS_FIXEDFILEINFO* fixed = nullptr;
    UINT len = 0;
    if (!VerQueryValueW(info.data(), L"\\", reinterpret_cast<void**>(&fixed), &len) || !fixed ||
        len < sizeof(VS_FIXEDFILEINFO))
        return false;
    Version.FileVersionMS = fixed->dwFileVersionMS;
    Version.FileVersionLS = fixed->dwFileVersionLS;
    return true;
}

}  // namespace platform
