// The UTC times of EXPIRES, read and written, and the keys of PUBLICKEY.
#include <gtest/gtest.h>

#include "trust/publisher_keys.h"
#include "trust/server_ini_edition.h"

using namespace trust;

namespace {

TEST(ServerIniEdition, ReadsAndWritesUtcTimes) {
    struct Case {
        const char* text;
        int64_t seconds;  // -1: refused
    } cases[] = {
        {"1970-01-01T00:00:00Z", 0},          {"2027-01-31T00:00:00Z", 1801353600},
        {"2028-02-29T23:59:59Z", 1835481599}, {"2100-03-01T00:00:00Z", 4107542400},
        {"2027-02-29T00:00:00Z", -1},  // not a leap year
        {"2100-02-29T00:00:00Z", -1},  // nor is 2100
        {"2027-13-01T00:00:00Z", -1},         {"2027-01-31T24:00:00Z", -1},
        {"2027-01-31T00:00:00", -1},  // no zone: read differently somewhere
        {"2027-01-31T00:00:00+01:00", -1},    {"2027-01-31", -1},
        {"2027-1-31T00:00:00Z", -1},          {"1969-12-31T23:59:59Z", -1},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.text);
        EXPECT_EQ(ParseUtcTime(c.text), c.seconds);
        if (c.seconds >= 0) {
            EXPECT_EQ(FormatUtcTime(c.seconds), c.text);
        }
    }
}

TEST(ServerIniEdition, SplitsKeysAtCommas) {
    EXPECT_EQ(SplitKeys(" A1 ,B2,, C3 "), (std::vector<std::string>{"A1", "B2", "C3"}));
    EXPECT_TRUE(SplitKeys(" , ").empty());
    EXPECT_TRUE(TrustedKeys("").empty()) << "the default build has no built-in key";
    EXPECT_EQ(TrustedKeys("A1, A1,B2"), (std::vector<std::string>{"A1", "B2"}));
}
}  // namespace
