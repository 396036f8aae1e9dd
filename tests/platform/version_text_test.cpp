// Version texts, their comparison, and the minimum-version check against real files.
#include <gtest/gtest.h>

#include "platform/strconv.h"
#include "platform/update_utils.h"

using namespace platform;

namespace {
std::string Numbers(const TFileVerRec& r) {
    return Format("%u.%u.%u.%u", r.Version[1], r.Version[2], r.Version[3], r.Version[4]);
}

TFileVerRec Text(const std::string& s) {
    TFileVerRec r;
    r.VersionStr = s;
    return r;
}

TFileVerRec Nums(uint16_t a, uint16_t b, uint16_t c, uint16_t d, const std::string& s = "") {
    TFileVerRec r;
    r.Version = {0, a, b, c, d};
    r.VersionStr = s;
    return r;
}

const std::string kFixtures = ZEL_PE_FIXTURES "/";
}  // namespace

TEST(VersionText, ParseVersionStrTable) {
    const struct {
        const char* text;
        const char* expected;
    } cases[] = {
        {"", "0.0.0.0"},
        {".", "0.0.0.0"},
        {"abc", "0.0.0.0"},
        {"1..2", "1.0.0.2"},
        {" 7.1", "7.0.0.1"},  // leading blanks are part of the number syntax
        {"7 .1", "0.0.0.1"},  // a trailing blank spoils its part
        {"1.2.3.4 ", "1.2.3.0"},
        {" 1. 2. 3. 4", "1.2.3.4"},
        {"7", "0.0.0.7"},  // the text after the last dot is the build number
        {"1.2.3", "1.2.0.3"},
        {"1.2.3.", "1.2.3.0"},
        {"1.2.3.4", "1.2.3.4"},
        {"1.2.3.4.", "1.2.3.4"},
        {"1.2.3.4.5", "1.2.3.5"},     // five parts: the last replaces the fourth
        {"1.2.3.4.5.6.", "1.2.3.4"},  // parts past the fourth dot stay outside the record
        {"9.8.7.6.5.4.3.2.1", "9.8.7.1"},
        {"$10.0x1F.x0a.0X0B", "16.31.10.11"},
        {"0x.1", "0.0.0.1"},  // a hex prefix without digits is no number
        {"12abc.3", "0.0.0.3"},
        {"+3.-0.2.3", "3.0.2.3"},
        {"-1.65536.65537.2147483647", "65535.0.1.65535"},  // kept modulo 65536
        {"2147483648.1.1.1", "0.1.1.1"},                   // outside the signed 32-bit range
        {"-2147483649.1.1.1", "0.1.1.1"},
        {"-65535.0.0.1", "1.0.0.1"},
        {"1.0.0.65536", "1.0.0.0"},
        {"99999999999999999999.1.1.1", "0.1.1.1"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string("text \"") + c.text + "\"");
        TFileVerRec r = Nums(5, 5, 5, 5, c.text);  // stale numbers must not survive
        ParseVersionStr(r);
        EXPECT_EQ(Numbers(r), c.expected);
        EXPECT_EQ(r.VersionStr, c.text);
    }
}

TEST(VersionText, IsVersionNewerTable) {
    const struct {
        const char* name;
        TFileVerRec a, b;
        bool expected;
    } cases[] = {
        {"equal", Text("1.2.3.4"), Text("1.2.3.4"), false},
        {"numeric not textual", Text("1.10.0.0"), Text("1.9.0.0"), true},
        {"numeric not textual, reversed", Text("1.9.0.0"), Text("1.10.0.0"), false},
        {"major decides first", Text("2.0.0.0"), Text("1.9.9.9"), true},
        {"build", Text("1.0.0.2"), Text("1.0.0.10"), false},
        {"unsigned comparison", Text("65535.0.0.0"), Text("65534.65535.65535.65535"), true},
        {"text governs over stale numbers", Nums(1, 0, 0, 0, "2.0.0.0"), Nums(1, 5, 0, 0), true},
        {"numbers stand when the text is empty", Nums(3, 0, 0, 0), Text("2.9"), true},
        {"wrapped part equals zero", Text("1.0.0.65536"), Nums(1, 0, 0, 0), false},
        {"anything beats an empty record", Text("0.0.0.1"), TFileVerRec{}, true},
        {"empty records are equal", TFileVerRec{}, TFileVerRec{}, false},
        {"short text is a build number", Text("2.2.2"), Text("2.2.0.1"), true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(IsVersionNewer(c.a, c.b), c.expected);
        if (c.expected) {
            EXPECT_FALSE(IsVersionNewer(c.b, c.a)) << "reverse order";
        }
    }
    EXPECT_FALSE(IsVersionNewer(Text("1.2.3.4"), Text("1.2.3.4")));
}

TEST(VersionText, IsVersionNewerLeavesTheCallersRecords) {
    TFileVerRec a = Nums(1, 0, 0, 0, "2.0.0.0"), b = Nums(0, 0, 0, 1, "0.1");
    EXPECT_TRUE(IsVersionNewer(a, b));
    EXPECT_EQ(Numbers(a), "1.0.0.0");
    EXPECT_EQ(Numbers(b), "0.0.0.1");
}

TEST(VersionText, FileVersionAtLeastTable) {
    const std::string versioned = kFixtures + "pe32plus_rsrc_not_last.exe";  // 2.2.2.5
    const std::string missing = kFixtures + "no-such-file.exe";
    const std::string notPe = kFixtures + "not_pe.txt";
    const struct {
        const std::string& file;
        const char* text;
        bool expected;
    } cases[] = {
        {versioned, "2.2.2.5", true},  // equal counts as at least
        {versioned, "2.2.2.4", true},
        {versioned, "2.2.2.6", false},
        {versioned, "2.3", true},  // reads as 2.0.0.3
        {versioned, "10.0.0.0", false},
        {versioned, "", true},
        {missing, "", true},
        {missing, "0.0.0.0", true},
        {missing, "0.0.0.1", false},
        {missing, "2.2.2.5", false},
        {missing, "abc", true},  // no digits: 0.0.0.0
        {notPe, "1", false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.file.substr(kFixtures.size()) + " at least \"" + c.text + "\"");
        EXPECT_EQ(FileVersionAtLeast(c.file, c.text), c.expected);
    }
}

TEST(VersionText, ReadFileVersionOverwritesEverythingOnFailure) {
    uint16_t major = 9, minor = 9, release = 9, build = 9;
    std::string text = "stale";
    ReadFileVersion(kFixtures + "no-such-file.exe", major, minor, release, build, text);
    EXPECT_EQ(Format("%u.%u.%u.%u", major, minor, release, build), "0.0.0.0");
    EXPECT_EQ(text, "0.0.0.0");

    ReadFileVersion(kFixtures + "pe32plus_basic.dll", major, minor, release, build, text);
    EXPECT_EQ(Format("%u.%u.%u.%u", major, minor, release, build), "10.20.30.40");
    EXPECT_EQ(text, "10.20.30.40");
}
