#include <windows.h>

#include <algorithm>
#include <vector>

#include "platform/file_version.h"
#include "platform/unique_handle_win.h"
#include "platform/wide_text_win.h"

namespace platform {

namespace {
class FileSource final : public TPeFileSource {
public:
    FileSource(HANDLE h, uint64_t size) : TPeFileSource(size, nullptr), h_(h) {}

private:
    size_t ReadSome(uint64_t offset, char* buffer, size_t count) override {
        OVERLAPPED at{};
        at.Offset = DWORD(offset);
        at.OffsetHigh = DWORD(offset >> 32);
        DWORD n = 0;
        return ReadFile(h_, buffer, DWORD(std::min<size_t>(count, 1u << 30)), &n, &at) ? size_t(n) : 0;
    }

    HANDLE h_;
};

// The system's reader trusts the file's offsets (Wine's reads past a truncated resource
// section and faults): it gets only a disk file whose version records lie within the file.
bool SafeForTheSystemsReader(const std::wstring& Name) {
    TUniqueFileHandle h(CreateFileW(Name.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                    OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    LARGE_INTEGER size{};
    if (!h.Valid() || GetFileType(h.Get()) != FILE_TYPE_DISK || !GetFileSizeEx(h.Get(), &size)) return false;
    FileSource source(h.Get(), uint64_t(size.QuadPart));
    return PeVersionRecordsInBounds(source);
}
}  // namespace

// Windows' own reading decides, for every file it can read: it looks the version up as
// VS_VERSION_INFO in the workstation's language, where the portable reader takes the first.
bool ReadSystemFileVersion(const std::string& FileName, TPeFileVersion& Version) {
    const std::wstring name = WidePath(FileName);
    if (!SafeForTheSystemsReader(name)) return false;
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

}  // namespace platform
