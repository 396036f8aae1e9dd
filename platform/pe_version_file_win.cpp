#include <windows.h>

#include "platform/pe_version.h"
#include "platform/unique_handle_win.h"
#include "platform/wide_text_win.h"

namespace platform {

namespace {
class FileSource final : public TPeByteSource {
public:
    FileSource(HANDLE h, uint64_t size, TPeReadStats* stats) : h_(h), size_(size), stats_(stats) {}
    uint64_t Size() const override { return size_; }
    bool ReadAt(uint64_t offset, void* buffer, size_t count) override {
        if (offset > size_ || count > size_ - offset) return false;
        if (stats_) ++stats_->Reads;
        auto* p = static_cast<char*>(buffer);
        while (count > 0) {
            OVERLAPPED at{};
            at.Offset = DWORD(offset);
            at.OffsetHigh = DWORD(offset >> 32);
            DWORD n = 0;
            if (!ReadFile(h_, p, DWORD(count), &n, &at) || n == 0) return false;
            if (stats_) stats_->BytesRead += n;
            p += n, offset += n, count -= n;
        }
        return true;
    }

private:
    HANDLE h_;
    uint64_t size_;
    TPeReadStats* stats_;
};
}  // namespace

bool ReadPeFileVersion(const std::string& FileName, TPeFileVersion& Version, TPeReadStats* Stats) {
    TUniqueFileHandle h(CreateFileW(WidePath(FileName).c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                    nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!h.Valid()) return false;
    // Only disk files: a pipe or device could block or never end.
    if (GetFileType(h.Get()) != FILE_TYPE_DISK) return false;
    LARGE_INTEGER size{};
    if (!GetFileSizeEx(h.Get(), &size)) return false;
    FileSource source(h.Get(), uint64_t(size.QuadPart), Stats);
    return ReadPeVersion(source, Version);
}

}  // namespace platform
