// The version resource reader: the committed fixtures, broken and hostile files, and the
// promise that a lookup reads a few small pieces of a file, never the whole of it.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include "platform/pe_version.h"
#include "platform/strconv.h"
#include "platform/update_utils.h"
#include "tests/platform/pe_fixture_set.h"
#include "tests/platform/pe_image_builder.h"
#include "tests/support/temp_dir.h"

using namespace platform;

namespace {
const std::string kFixtures = ZEL_PE_FIXTURES "/";

std::string VersionOf(const std::string& file) {
    uint16_t a = 1, b = 1, c = 1, d = 1;
    std::string text;
    ReadFileVersion(file, a, b, c, d, text);
    EXPECT_EQ(text, Format("%u.%u.%u.%u", a, b, c, d)) << "numbers and text disagree";
    return text;
}

std::string Text(const TPeFileVersion& v) {
    return Format("%u.%u.%u.%u", v.FileVersionMS >> 16, v.FileVersionMS & 0xFFFF, v.FileVersionLS >> 16,
                  v.FileVersionLS & 0xFFFF);
}
}  // namespace

TEST(PeVersion, CommittedFixturesReadAsExpected) {
    const auto fixtures = PeFixtures();
    ASSERT_GE(fixtures.size(), 15u);
    for (const PeFixture& f : fixtures) {
        SCOPED_TRACE(f.Name);
        EXPECT_TRUE(ReadWholeFile(kFixtures + f.Name) == f.Bytes)
            << "the committed file differs from its generator: run make_pe_fixtures tests/fixtures/pe";
        EXPECT_EQ(VersionOf(kFixtures + f.Name), f.Expected);
    }
}

TEST(PeVersion, MissingEmptyAndSpecialFilesReadZero) {
    TempDir dir("zel-pe");
    const std::string fifo = dir.Path() + "pipe";
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    const struct {
        const char* name;
        std::string file;
    } cases[] = {
        {"missing", dir.Path() + "missing.exe"},          {"empty", dir.Write("empty.exe", "")},
        {"MZ alone", dir.Write("mz.exe", "MZ")},          {"a folder", dir.Path()},
        {"a FIFO without writer (must not block)", fifo},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(VersionOf(c.file), "0.0.0.0");
    }
}

// Each prefix of a good file either has no version or the right one: the reader never makes
// up a version from bytes that are not there.
TEST(PeVersion, EveryTruncationReadsNothingOrTheTruth) {
    for (const PeFixture& f : PeFixtures()) {
        if (f.Expected == "0.0.0.0") continue;
        SCOPED_TRACE(f.Name);
        bool seenTrue = false;
        for (size_t n = 0; n <= f.Bytes.size(); ++n) {
            TPeFileVersion v;
            const bool ok = ReadPeVersionFromBytes(f.Bytes.data(), n, v);
            if (ok) {
                EXPECT_EQ(Text(v), f.Expected) << "prefix of " << n << " bytes";
            }
            if (seenTrue && !ok) ADD_FAILURE() << "a longer prefix (" << n << " bytes) lost the version";
            seenTrue = seenTrue || ok;
        }
        EXPECT_TRUE(seenTrue);
    }
}

// Overwriting any one byte of the headers or the resource records must never crash, hang or
// read outside the buffer (the sanitizer build checks the latter).
TEST(PeVersion, SurvivesAnySingleCorruptByte) {
    pe::SimpleLayout l;
    pe::SimpleImage spec;
    spec.Order = {".text", ".rsrc", ".data"};
    spec.Resources = {pe::VersionResource(0x00010002, 0x00030004), pe::VersionResource(0x00010002, 0x00030005, 0x407)};
    const std::string good = pe::BuildSimple(spec, &l);
    size_t found = 0;
    for (size_t i = 0; i < good.size(); ++i) {
        for (unsigned char value : {0x00, 0x80, 0xFF}) {
            std::string bad = good;
            bad[i] = char(value);
            TPeFileVersion v;
            found += ReadPeVersionFromBytes(bad.data(), bad.size(), v);
        }
    }
    EXPECT_GT(found, 0u);  // most bytes do not matter; the reader must not give up on them
}

TEST(PeVersion, ReadsAFewSmallPiecesWhateverTheFileSize) {
    TempDir dir("zel-pe");
    pe::SimpleLayout l;
    pe::SimpleImage spec;
    spec.Pe32Plus = true;
    spec.Order = {".text", ".rsrc", ".data", ".reloc"};
    spec.Resources = {pe::VersionResource(0x00040003, 0x00020001)};
    std::string small = pe::BuildSimple(spec, &l);

    // The same image with its resource section moved 48 MB into a sparse file, and again with
    // 64 MB of appended data after it.
    const std::string smallFile = dir.Write("small.exe", small);
    std::string moved = small;
    const uint32_t farAway = 48u << 20;
    pe::Put32(moved, l.ResourceSectionHeader + 20, farAway);
    const std::string bigFile = dir.Write("big.exe", moved);
    const std::string rsrc = small.substr(l.ResourceFileOffset, pe::Get32(small, l.ResourceSectionHeader + 16));
    {
        const int fd = ::open(bigFile.c_str(), O_WRONLY);
        ASSERT_GE(fd, 0);
        ASSERT_EQ(::pwrite(fd, rsrc.data(), rsrc.size(), farAway), ssize_t(rsrc.size()));
        ASSERT_EQ(::ftruncate(fd, off_t(farAway) + (64 << 20)), 0);
        ::close(fd);
    }

    TPeReadStats smallStats, bigStats;
    TPeFileVersion v;
    ASSERT_TRUE(ReadPeFileVersion(smallFile, v, &smallStats));
    EXPECT_EQ(Text(v), "4.3.2.1");
    ASSERT_TRUE(ReadPeFileVersion(bigFile, v, &bigStats));
    EXPECT_EQ(Text(v), "4.3.2.1");

    // The headers in one read, the resource tree and the version block in at most two more
    // (the small file is all in its first read).
    EXPECT_EQ(smallStats.Reads, 1u);
    EXPECT_LE(bigStats.Reads, 3u);
    EXPECT_LE(smallStats.BytesRead, 3u * 4096u);
    EXPECT_LE(bigStats.BytesRead, 3u * 4096u);
}

// A file that is not PE is known by its first read, however large it is.
TEST(PeVersion, AFileThatIsNotPeCostsOneRead) {
    TempDir dir("zel-pe");
    struct Case {
        const char* name;
        std::string bytes;
    } cases[] = {
        {"text", std::string(100000, 't')},
        {"MZ without a PE header where it points", "MZ" + std::string(0x3A, '\0') + std::string("\x10\0\0\0", 4) +
                                                        std::string(100000, 'x')},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        TPeReadStats stats;
        TPeFileVersion v;
        EXPECT_FALSE(ReadPeFileVersion(dir.Write("file.bin", c.bytes), v, &stats));
        EXPECT_EQ(stats.Reads, 1u);
    }
}

// A directory that claims 131070 entries in a small section costs reads only up to the first
// entry that is not there.
TEST(PeVersion, HugeEntryCountsAreNotTrusted) {
    TempDir dir("zel-pe");
    TPeReadStats stats;
    TPeFileVersion v;
    EXPECT_FALSE(ReadPeFileVersion(kFixtures + "broken_entry_counts.exe", v, &stats));
    EXPECT_LE(stats.Reads, 12u);
}
