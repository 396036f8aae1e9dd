#pragma once
// The PE files committed under tests/fixtures/pe/, each with the version a reader must find.
// make_pe_fixtures writes them; the tests check the committed files are still these bytes.
#include <string>
#include <vector>

struct PeFixture {
    std::string Name;
    std::string Bytes;
    std::string Expected;  // as ReadFileVersion gives it; "0.0.0.0" for no version
};

std::vector<PeFixture> PeFixtures();
