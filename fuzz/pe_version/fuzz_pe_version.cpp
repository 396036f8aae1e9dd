// Any bytes at all: the reader must not crash, read outside the file, or keep reading.
#include <cstdlib>
#include <cstring>

#include "platform/pe_version.h"

using namespace platform;

namespace {
class CountingSource final : public TPeByteSource {
public:
    CountingSource(const uint8_t* data, size_t size) : data_(data), size_(size) {}
    uint64_t Size() const override { return size_; }
    bool ReadAt(uint64_t offset, void* buffer, size_t count) override {
        // Directory entries come 32 at a time, and a directory has at most 131070 of them.
        if (++reads > 5000) std::abort();
        if (offset > size_ || count > size_ - offset) return false;
        if (count) std::memcpy(buffer, data_ + offset, count);
        return true;
    }
    unsigned reads = 0;

private:
    const uint8_t* data_;
    size_t size_;
};
}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    CountingSource source(data, size);
    TPeFileVersion version;
    if (ReadPeVersion(source, version)) {
        // Found versions come from the file: the same bytes give the same answer.
        TPeFileVersion again;
        if (!ReadPeVersionFromBytes(data, size, again) || again.FileVersionMS != version.FileVersionMS ||
            again.FileVersionLS != version.FileVersionLS)
            std::abort();
    }
    return 0;
}
