// Reading file versions: time per file over a few hundred generated executables, and the
// reads one lookup costs in a 100 KB file against a 50 MB one (it must not grow).
//   bench_versions [FILES]   (default 300)
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "platform/pe_version.h"
#include "platform/update_utils.h"
#include "tests/platform/pe_image_builder.h"

using namespace platform;

namespace {
using Clock = std::chrono::steady_clock;

void WriteFile(const std::string& name, const std::string& bytes) {
    std::ofstream out(name, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), std::streamsize(bytes.size()));
}

// An image whose .text section holds CodeBytes of filler before the resources.
std::string Image(bool pe32Plus, uint32_t ms, uint32_t ls, size_t codeBytes) {
    pe::Image image;
    image.Pe32Plus = pe32Plus;
    const uint32_t code = uint32_t((codeBytes + 0xFFF) & ~size_t(0xFFF));
    pe::Section text{".text", 0x1000, code, 0x400, code, std::string(codeBytes, '\x90')};
    const uint32_t rsrcRva = 0x1000 + code;
    std::vector<pe::Resource> resources = {pe::VersionResource(ms, ls, 0x409), pe::VersionResource(ms, ls + 1, 0x407)};
    pe::Resource manifest;
    manifest.Type = 24;
    manifest.Data = "<assembly/>";
    resources.push_back(manifest);
    std::string rsrcData = pe::ResourceSection(resources, rsrcRva);
    const uint32_t rsrcRaw = uint32_t((rsrcData.size() + 0x1FF) & ~size_t(0x1FF));
    pe::Section rsrc{".rsrc", rsrcRva, uint32_t(rsrcData.size()), 0x400 + code, rsrcRaw, rsrcData};
    pe::Section data{".data", rsrcRva + 0x1000, 0x40, 0x400 + code + rsrcRaw, 0x200, std::string(0x40, '\1')};
    image.Sections = {text, rsrc, data};
    image.ResourceRva = rsrcRva;
    image.ResourceSize = uint32_t(rsrcData.size());
    return pe::Build(image);
}

double Micros(Clock::duration d) { return std::chrono::duration<double, std::micro>(d).count(); }

struct Measured {
    double microsPerLookup;
    TPeReadStats stats;
};

Measured Lookups(const std::string& file, int times) {
    Measured m{};
    TPeFileVersion v;
    const auto start = Clock::now();
    for (int i = 0; i < times; ++i) {
        TPeReadStats s;
        if (!ReadPeFileVersion(file, v, &s)) {
            std::fprintf(stderr, "no version in %s\n", file.c_str());
            std::exit(1);
        }
        m.stats = s;
    }
    m.microsPerLookup = Micros(Clock::now() - start) / times;
    return m;
}
}  // namespace

int main(int argc, char** argv) {
    const int count = argc > 1 ? std::atoi(argv[1]) : 300;
    char pattern[] = "/tmp/zel-bench-versions-XXXXXX";
    if (!::mkdtemp(pattern)) return 1;
    const std::string dir = std::string(pattern) + "/";

    // A few hundred small executables of assorted shapes and versions.
    std::vector<std::string> files;
    for (int i = 0; i < count; ++i) {
        const std::string name = dir + "file" + std::to_string(i) + ".exe";
        WriteFile(name, Image(i % 2 == 0, 0x00010000u | uint32_t(i), uint32_t(i) << 16, 512 + size_t(i % 7) * 4096));
        files.push_back(name);
    }
    uint64_t reads = 0, bytes = 0;
    const auto start = Clock::now();
    for (const std::string& f : files) {
        uint16_t a, b, c, d;
        std::string text;
        ReadFileVersion(f, a, b, c, d, text);  // the updater's path, open and close included
    }
    const double perFile = Micros(Clock::now() - start) / count;
    for (const std::string& f : files) {
        TPeFileVersion v;
        TPeReadStats s;
        ReadPeFileVersion(f, v, &s);
        reads += s.Reads, bytes += s.BytesRead;
    }
    std::printf("%d files: %.1f us per file (ReadFileVersion), %.1f reads and %.0f bytes read per file\n", count,
                perFile, double(reads) / count, double(bytes) / count);

    // The same lookup in a 100 KB and a 50 MB executable (code before the resources).
    const std::string small = dir + "small.exe", big = dir + "big.exe";
    WriteFile(small, Image(true, 0x00020000, 0x00030004, 100 * 1024));
    WriteFile(big, Image(true, 0x00020000, 0x00030004, 50 * 1024 * 1024));
    struct stat ss = {};
    struct stat bs = {};
    ::stat(small.c_str(), &ss);
    ::stat(big.c_str(), &bs);
    const Measured s = Lookups(small, 2000), b = Lookups(big, 2000);
    std::printf("%8lld bytes: %.1f us per lookup, %u reads, %llu bytes read\n", (long long)ss.st_size,
                s.microsPerLookup, s.stats.Reads, (unsigned long long)s.stats.BytesRead);
    std::printf("%8lld bytes: %.1f us per lookup, %u reads, %llu bytes read\n", (long long)bs.st_size,
                b.microsPerLookup, b.stats.Reads, (unsigned long long)b.stats.BytesRead);

    std::error_code ec;
    std::filesystem::remove_all(dir, ec);
    return s.stats.Reads == b.stats.Reads && s.stats.BytesRead == b.stats.BytesRead ? 0 : 1;
}
