#pragma once
// The fixed file version of a Windows executable or DLL, read from its version resource
// without the Windows loader, so it works on every platform.
//
// The reader touches only the headers and the resource records on the way to the version
// block: a handful of small reads whatever the size of the file. Every offset and size read
// from the file is checked against the file, so a truncated, corrupt or hostile file simply
// has no version; it never crashes, loops or allocates more than the file could justify.
#include <cstddef>
#include <cstdint>
#include <string>

namespace platform {

// Random access to the bytes of one file (or a buffer, for tests and the fuzzer).
class TPeByteSource {
public:
    virtual ~TPeByteSource() = default;
    virtual uint64_t Size() const = 0;
    // Copies exactly Count bytes at Offset into Buffer; false when they are not all there.
    virtual bool ReadAt(uint64_t Offset, void* Buffer, size_t Count) = 0;
};

// The version as VS_FIXEDFILEINFO holds it: major << 16 | minor, release << 16 | build.
struct TPeFileVersion {
    uint32_t FileVersionMS = 0;
    uint32_t FileVersionLS = 0;
};

// Counts the reads one lookup made (for the benchmark: the cost must not grow with the file).
struct TPeReadStats {
    uint32_t Reads = 0;
    uint64_t BytesRead = 0;
};

// True with the version when Source is a PE32 or PE32+ image with a version resource
// (resource type 16, its first name and first language) whose root block holds a fixed
// file information with the signature 0xFEEF04BD.
bool ReadPeVersion(TPeByteSource& Source, TPeFileVersion& Version);

// True when every record of the version resources (type 16, each name, each language) and
// the data each names lie in the file-backed part of a section: the bounds the system's own
// reader takes on trust. Says nothing about what the data holds.
bool PeVersionRecordsInBounds(TPeByteSource& Source);

// The same for the bytes of a buffer.
bool ReadPeVersionFromBytes(const void* Data, size_t Size, TPeFileVersion& Version);

// A file's bytes for the reader. The bounds check, the counting and a window of the file live
// here; each platform supplies one positioned read (pe_version_file_posix.cpp,
// pe_version_file_win.cpp). A read fetches a whole window (a page or more) and later reads
// inside it cost nothing: the headers come in the first read, the resource tree and often the
// version block in the second. A file that is not PE is known after the first.
class TPeFileSource : public TPeByteSource {
public:
    TPeFileSource(uint64_t Size, TPeReadStats* Stats) : size_(Size), stats_(Stats) {}
    uint64_t Size() const final { return size_; }
    bool ReadAt(uint64_t Offset, void* Buffer, size_t Count) final;

protected:
    // Reads at most Count bytes at Offset; the number read, 0 when the file ended early (it
    // shrank under us) or the read failed.
    virtual size_t ReadSome(uint64_t Offset, char* Buffer, size_t Count) = 0;

private:
    uint64_t size_;
    TPeReadStats* stats_;
    std::string window_;
    uint64_t windowAt_ = 0;
};

// The same for a file; false too when it cannot be opened. Stats, when given, receives the
// number of reads made and the bytes they returned.
bool ReadPeFileVersion(const std::string& FileName, TPeFileVersion& Version, TPeReadStats* Stats = nullptr);

}  // namespace platform
