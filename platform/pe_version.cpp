#include "platform/pe_version.h"

#include <algorithm>
#include <cstring>
#include <vector>

namespace platform {

// Layout facts of the PE format used below (all little-endian):
//   DOS header: "MZ", e_lfanew (offset of "PE\0\0") at 0x3C.
//   After the signature: the 20-byte COFF header, then the optional header whose magic is
//   0x10B (PE32) or 0x20B (PE32+); its data directories start at 96 or 112, the resource
//   directory is entry 2. The section table follows the optional header, 40 bytes a section.
//   Resource tree: type -> name -> language -> data entry; a directory is a 16-byte header
//   (named and id entry counts at 12 and 14) followed by 8-byte entries.
namespace {
constexpr uint32_t kRtVersion = 16;
constexpr uint32_t kFixedInfoSignature = 0xFEEF04BD;
constexpr uint32_t kHighBit = 0x80000000u;
constexpr size_t kFixedInfoSize = 52;
// Directory entries are fetched this many at a time, so a directory that claims thousands of
// entries costs reads only as far as the search goes.
constexpr size_t kEntriesPerRead = 32;
// The version block's header, key and fixed information fit well inside this.
constexpr size_t kVersionHeadBytes = 512;
// What one read of a file fetches at least: the headers of a usual image lie in its first
// page, the resource directories at the start of their section.
constexpr size_t kFileWindow = 4096;

uint16_t U16(const uint8_t* p) { return uint16_t(p[0] | p[1] << 8); }
uint32_t U32(const uint8_t* p) {
    return uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24;
}

struct Section {
    uint32_t VirtualAddress;
    uint32_t SizeOfRawData;
    uint32_t PointerToRawData;
};

class Image {
public:
    explicit Image(TPeByteSource& source) : source_(source), size_(source.Size()) {}

    bool ReadHeaders(uint32_t& resourceRva) {
        uint8_t dos[64];
        if (!source_.ReadAt(0, dos, sizeof dos) || dos[0] != 'M' || dos[1] != 'Z') return false;
        const uint64_t peOffset = U32(dos + 0x3C);
        if (peOffset >= size_) return false;

        // Signature, COFF header and as much of the optional header as is ever needed.
        uint8_t head[24 + 240] = {};
        const size_t headBytes = size_t(std::min<uint64_t>(sizeof head, size_ - peOffset));
        if (headBytes < 24 || !source_.ReadAt(peOffset, head, headBytes)) return false;
        if (std::memcmp(head, "PE\0\0", 4) != 0) return false;
        const uint32_t sectionCount = U16(head + 6);
        const uint32_t optionalSize = U16(head + 20);
        const uint8_t* optional = head + 24;
        const size_t optionalRead = headBytes - 24;
        if (optionalRead < 2) return false;

        size_t directoriesAt;
        const uint16_t magic = U16(optional);
        if (magic == 0x10B)
            directoriesAt = 96;
        else if (magic == 0x20B)
            directoriesAt = 112;
        else
            return false;
        const size_t resourceEntryEnd = directoriesAt + 3 * 8;
        if (optionalSize < resourceEntryEnd || optionalRead < resourceEntryEnd) return false;
        if (U32(optional + directoriesAt - 4) <= 2) return false;  // NumberOfRvaAndSizes
        resourceRva = U32(optional + directoriesAt + 2 * 8);
        if (resourceRva == 0) return false;

        const uint64_t tableOffset = peOffset + 24 + optionalSize;
        const uint64_t tableBytes = uint64_t(sectionCount) * 40;
        if (sectionCount == 0 || tableOffset + tableBytes > size_) return false;
        std::vector<uint8_t> table(static_cast<size_t>(tableBytes));
        if (!source_.ReadAt(tableOffset, table.data(), table.size())) return false;
        sections_.reserve(sectionCount);
        for (uint32_t i = 0; i < sectionCount; ++i) {
            const uint8_t* s = table.data() + size_t(i) * 40;
            sections_.push_back({U32(s + 12), U32(s + 16), U32(s + 20)});
        }
        return true;
    }

    // Whether Count bytes at an RVA lie in the file-backed part of one section, in the file.
    bool Covers(uint64_t rva, uint64_t count) const {
        for (const Section& s : sections_) {
            if (rva < s.VirtualAddress || rva - s.VirtualAddress >= s.SizeOfRawData) continue;
            const uint64_t inSection = rva - s.VirtualAddress;
            return inSection + count <= s.SizeOfRawData && uint64_t(s.PointerToRawData) + inSection + count <= size_;
        }
        return false;
    }

    // Reads Count bytes at an RVA. The whole range must lie in the file-backed part of one
    // section (VirtualAddress .. VirtualAddress + SizeOfRawData): the rest of a section is
    // zero-filled memory at run time, not the bytes that follow it in the file.
    bool ReadRva(uint64_t rva, void* buffer, size_t count) {
        for (const Section& s : sections_) {
            if (rva < s.VirtualAddress || rva - s.VirtualAddress >= s.SizeOfRawData) continue;
            const uint64_t inSection = rva - s.VirtualAddress;
            if (inSection + count > s.SizeOfRawData) return false;
            const uint64_t offset = uint64_t(s.PointerToRawData) + inSection;
            if (offset + count > size_) return false;
            return source_.ReadAt(offset, buffer, count);
        }
        return false;
    }

private:
    TPeByteSource& source_;
    uint64_t size_;
    std::vector<Section> sections_;
};

// One level of the resource tree. Entry offsets are relative to the root directory.
class ResourceDirectory {
public:
    ResourceDirectory(Image& image, uint32_t root) : image_(image), root_(root) {}

    bool Open(uint64_t offset) {
        at_ = uint64_t(root_) + offset;
        // The header and the first entries in one read where the section has room for them.
        uint8_t head[16 + sizeof chunk_];
        const bool withEntries = image_.ReadRva(at_, head, sizeof head);
        if (!withEntries && !image_.ReadRva(at_, head, 16)) return false;
        named_ = U16(head + 12);
        count_ = named_ + U16(head + 14);
        loadedFrom_ = SIZE_MAX;
        if (withEntries) {
            std::memcpy(chunk_, head + 16, sizeof chunk_);
            loadedFrom_ = 0;
        }
        return true;
    }

    size_t Count() const { return count_; }
    // Named entries come first; the numbered ones start here.
    size_t FirstId() const { return named_; }

    // The Name and OffsetToData words of entry i.
    bool Entry(size_t i, uint32_t& name, uint32_t& data) {
        if (i >= count_) return false;
        const size_t first = i - i % kEntriesPerRead;
        if (first != loadedFrom_) {
            const size_t n = std::min(kEntriesPerRead, count_ - first);
            if (!image_.ReadRva(at_ + 16 + uint64_t(first) * 8, chunk_, n * 8)) return false;
            loadedFrom_ = first;
        }
        const uint8_t* e = chunk_ + (i - first) * 8;
        name = U32(e);
        data = U32(e + 4);
        return true;
    }

private:
    Image& image_;
    uint32_t root_;
    uint64_t at_ = 0;
    size_t named_ = 0;
    size_t count_ = 0;
    size_t loadedFrom_ = SIZE_MAX;
    uint8_t chunk_[kEntriesPerRead * 8] = {};
};

// The tree has exactly three levels, so a subdirectory offset that points back at its own
// directory (or anywhere else) is followed at most twice: no cycle can keep the walk going.
bool FindVersionData(Image& image, uint32_t root, uint32_t& dataRva, uint32_t& dataSize) {
    ResourceDirectory dir(image, root);
    if (!dir.Open(0)) return false;

    uint32_t name = 0, data = 0;
    bool found = false;
    for (size_t i = dir.FirstId(); i < dir.Count() && !found; ++i) {
        if (!dir.Entry(i, name, data)) return false;
        found = name == kRtVersion;
    }
    if (!found || !(data & kHighBit)) return false;

    // First name, then first language.
    for (int level = 0; level < 2; ++level) {
        if (!dir.Open(data & ~kHighBit) || !dir.Entry(0, name, data)) return false;
        if (level == 0 && !(data & kHighBit)) return false;
    }
    if (data & kHighBit) return false;

    uint8_t entry[16];
    if (!image.ReadRva(uint64_t(root) + data, entry, sizeof entry)) return false;
    dataRva = U32(entry);
    dataSize = U32(entry + 4);
    return true;
}

// VS_VERSIONINFO: wLength, wValueLength, wType, the key as UTF-16 with its terminator, padding
// to a 32-bit boundary, then the value: VS_FIXEDFILEINFO.
bool ReadFixedInfo(Image& image, uint32_t dataRva, uint32_t dataSize, TPeFileVersion& version) {
    const size_t n = std::min<size_t>(dataSize, kVersionHeadBytes);
    if (n < 6) return false;
    uint8_t block[kVersionHeadBytes];
    if (!image.ReadRva(dataRva, block, n)) return false;
    const size_t limit = std::min<size_t>(n, U16(block));
    const size_t valueLength = U16(block + 2);

    size_t p = 6;
    while (p + 2 <= limit && U16(block + p) != 0) p += 2;
    if (p + 2 > limit) return false;
    const size_t value = (p + 2 + 3) & ~size_t(3);
    if (valueLength < kFixedInfoSize || value + kFixedInfoSize > limit) return false;
    if (U32(block + value) != kFixedInfoSignature) return false;
    version.FileVersionMS = U32(block + value + 8);
    version.FileVersionLS = U32(block + value + 12);
    return true;
}

class MemorySource final : public TPeByteSource {
public:
    MemorySource(const void* data, size_t size) : data_(static_cast<const uint8_t*>(data)), size_(size) {}
    uint64_t Size() const override { return size_; }
    bool ReadAt(uint64_t offset, void* buffer, size_t count) override {
        if (offset > size_ || count > size_ - offset) return false;
        if (count) std::memcpy(buffer, data_ + offset, count);
        return true;
    }

private:
    const uint8_t* data_;
    size_t size_;
};
}  // namespace

bool ReadPeVersion(TPeByteSource& Source, TPeFileVersion& Version) {
    try {
        Image image(Source);
        uint32_t root = 0, dataRva = 0, dataSize = 0;
        TPeFileVersion found;
        if (!image.ReadHeaders(root) || !FindVersionData(image, root, dataRva, dataSize) ||
            !ReadFixedInfo(image, dataRva, dataSize, found))
            return false;
        Version = found;
        return true;
    } catch (const std::exception&) {
        return false;  // only an exhausted allocation can get here
    }
}

bool PeVersionRecordsInBounds(TPeByteSource& Source) {
    // More version records than any linker writes is a hostile file, not one to walk.
    constexpr size_t kMaxRecords = 4096;
    try {
        Image image(Source);
        uint32_t root = 0, name = 0, data = 0;
        if (!image.ReadHeaders(root)) return false;
        ResourceDirectory types(image, root);
        if (!types.Open(0)) return false;
        bool found = false;
        for (size_t i = types.FirstId(); i < types.Count() && !found; ++i) {
            if (!types.Entry(i, name, data)) return false;
            found = name == kRtVersion;
        }
        if (!found || !(data & kHighBit)) return false;
        ResourceDirectory names(image, root), languages(image, root);
        if (!names.Open(data & ~kHighBit)) return false;
        size_t records = 0;
        for (size_t i = 0; i < names.Count(); ++i) {
            if (!names.Entry(i, name, data) || !(data & kHighBit) || !languages.Open(data & ~kHighBit)) return false;
            for (size_t k = 0; k < languages.Count(); ++k) {
                uint8_t entry[16];
                if (++records > kMaxRecords || !languages.Entry(k, name, data) || (data & kHighBit) ||
                    !image.ReadRva(uint64_t(root) + data, entry, sizeof entry) ||
                    !image.Covers(U32(entry), U32(entry + 4)))
                    return false;
            }
        }
        return records > 0;
    } catch (const std::exception&) {
        return false;
    }
}

bool TPeFileSource::ReadAt(uint64_t Offset, void* Buffer, size_t Count) {
    if (Offset > size_ || Count > size_ - Offset) return false;
    if (Count == 0) return true;
    const bool inWindow = Offset >= windowAt_ && Offset - windowAt_ <= window_.size() &&
                          Count <= window_.size() - (Offset - windowAt_);
    if (!inWindow) {
        const size_t want = size_t(std::min<uint64_t>(std::max(Count, kFileWindow), size_ - Offset));
        window_.resize(want);
        windowAt_ = Offset;
        if (stats_) ++stats_->Reads;
        for (size_t got = 0; got < want;) {
            const size_t n = ReadSome(Offset + got, window_.data() + got, want - got);
            if (n == 0) {
                window_.clear();  // the file shrank under us or cannot be read
                return false;
            }
            if (stats_) stats_->BytesRead += n;
            got += n;
        }
    }
    std::memcpy(Buffer, window_.data() + (Offset - windowAt_), Count);
    return true;
}

bool ReadPeVersionFromBytes(const void* Data, size_t Size, TPeFileVersion& Version) {
    MemorySource source(Data, Size);
    return ReadPeVersion(source, Version);
}

}  // namespace platform
