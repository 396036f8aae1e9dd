// Writes the PE fixtures into the folder given: make_pe_fixtures tests/fixtures/pe
#include <cstdio>
#include <fstream>

#include "tests/platform/pe_fixture_set.h"

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: make_pe_fixtures FOLDER\n");
        return 2;
    }
    for (const PeFixture& f : PeFixtures()) {
        std::ofstream out(std::string(argv[1]) + "/" + f.Name, std::ios::binary | std::ios::trunc);
        out.write(f.Bytes.data(), std::streamsize(f.Bytes.size()));
        if (!out) {
            std::fprintf(stderr, "cannot write %s\n", f.Name.c_str());
            return 1;
        }
        std::printf("%-40s %6zu bytes  %s\n", f.Name.c_str(), f.Bytes.size(), f.Expected.c_str());
    }
    return 0;
}
