#include <windows.h>

#include <algorithm>

#include "platform/pe_version_file_win.h"
#include "platform/unique_handle_win.h"
#include "platform/wide_text_win.h"

namespace platform {

namespace {
class FileSource final : public TPeFileSource {
public:
    FileSource(HANDLE h, uint64_t size, TPeReadStats* stats) : TPeFileSource(size, stats), h_(h) {}

private:
    size_t ReadSome(uint64_t offset, char* buffer, size_t count) override {
        OVERLAPPED at{};
        at.Offset = DWORD(offset);
        at.OffsetHigh = DWORD(offset >> 32);
        DWORD n = 0;
        // At most 1 GiB a call, so the count fits a DWORD; the caller asks again for the rest.
        return ReadFile(h_, buffer, DWORD(std::min<size_t>(count, 1u << 30)), &n, &at) ? size_t(n) : 0;
    }

    HANDLE h_;
};
}  // namespace

bool WithPeDiskFile(const std::string& FileName, TPeReadStats* Stats, const std::function<bool(TPeFileSource&)>& Use) {
    TUniqueFileHandle h(CreateFileW(WidePath(FileName).c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                    nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!h.Valid()) return false;
    if (GetFileType(h.Get()) != FILE_TYPE_DISK) return false;
    LARGE_INTEGER size{};
    if (!GetFileSizeEx(h.Get(), &size)) return false;
    FileSource source(h.Get(), uint64_t(size.QuadPart), Stats);
    return Use(source);
}

bool ReadPeFileVersion(const std::string& FileName, TPeFileVersion& Version, TPeReadStats* Stats) {
    return WithPeDiskFile(FileName, Stats, [&](TPeFileSource& Source) { return ReadPeVersion(Source, Version); });
}

}  // namespace platform
