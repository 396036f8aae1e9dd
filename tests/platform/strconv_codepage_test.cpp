// The integer conversion the version parts rely on, and the Windows-1252 code page.
#include <gtest/gtest.h>

#include "platform/codepage.h"
#include "platform/strconv.h"

using namespace platform;

TEST(TextHelpers, TryStrToIntTable) {
    const struct {
        const char* text;
        bool ok;
        int32_t value;
    } cases[] = {
        {"0", true, 0},
        {"   42", true, 42},
        {"0017", true, 17},
        {"+5", true, 5},
        {"-16", true, -16},
        {"2147483647", true, INT32_MAX},
        {"-2147483648", true, INT32_MIN},
        {"$7FFFFFFF", true, INT32_MAX},
        {"-$10", true, -16},
        {"x1f", true, 31},
        {"0X1F", true, 31},
        {"2147483648", false, 0},
        {"-2147483649", false, 0},
        {"$80000000", false, 0},
        {"99999999999999999999999", false, 0},
        {"42 ", false, 0},
        {"4 2", false, 0},
        {"1e3", false, 0},
        {"12abc", false, 0},
        {"", false, 0},
        {"   ", false, 0},
        {"-", false, 0},
        {"$", false, 0},
        {"0x", false, 0},
        {"$G", false, 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string("\"") + c.text + "\"");
        int32_t v = 12345;
        EXPECT_EQ(TryStrToInt(c.text, v), c.ok);
        if (c.ok) {
            EXPECT_EQ(v, c.value);
        }
    }
}

// Digits past the limit must fail, not wrap around the 64-bit accumulator back into range.
TEST(TextHelpers, TryStrToInt64RejectsEveryOverflow) {
    const struct {
        const char* text;
        bool ok;
        int64_t value;
    } cases[] = {
        {"9223372036854775807", true, INT64_MAX}, {"-9223372036854775808", true, INT64_MIN},
        {"$7FFFFFFFFFFFFFFF", true, INT64_MAX},   {"9223372036854775808", false, 0},
        {"92233720368547758080", false, 0},  // wrapped to 0 with a check after the multiply
        {"$80000000000000000", false, 0},    // 2^67, the same wrap in hex
        {"-92233720368547758080", false, 0},      {"184467440737095516160", false, 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string("\"") + c.text + "\"");
        int64_t v = 7;
        EXPECT_EQ(TryStrToInt64(c.text, v), c.ok);
        if (c.ok) {
            EXPECT_EQ(v, c.value);
        }
    }
}

TEST(TextHelpers, Windows1252Table) {
    const struct {
        const char* name;
        std::string ansi;
        std::string utf8;
    } cases[] = {
        {"euro at 0x80", "\x80", "\xE2\x82\xAC"},
        {"single low quote at 0x82", "\x82", "\xE2\x80\x9A"},
        {"trade mark at 0x99", "\x99", "\xE2\x84\xA2"},
        {"Y diaeresis at 0x9F", "\x9F", "\xC5\xB8"},
        {"unassigned 0x81 stays a C1 control", "\x81", "\xC2\x81"},
        {"registered sign (Latin-1 range)", "Brinquet\xAE Express", "Brinquet\xC2\xAE Express"},
        {"e acute", "caf\xE9", "caf\xC3\xA9"},
        {"plain ASCII", "FILE1NAME=a.exe", "FILE1NAME=a.exe"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(AnsiToUtf8(c.ansi), c.utf8);
        EXPECT_EQ(Utf8ToAnsi(c.utf8), c.ansi);
    }
}

TEST(TextHelpers, CharactersMissingFromWindows1252BecomeQuestionMarks) {
    EXPECT_EQ(Utf8ToAnsi("\xCE\xA9mega"), "?mega");              // Greek capital omega
    EXPECT_EQ(Utf8ToAnsi("a\xF0\x9F\x98\x80z"), "a?z");          // an emoji: one "?" for the whole character
    EXPECT_EQ(Utf8ToAnsi("\xE2\x82\xAC\xE2\x82\xAD"), "\x80?");  // euro, then the kip sign
    EXPECT_EQ(Utf8ToAnsi("bad \xC3"), "bad ?");                  // a cut-off sequence
}

TEST(TextHelpers, EveryAnsiByteSurvivesARoundTrip) {
    std::string all;
    for (int b = 1; b < 256; ++b) all += char(b);
    EXPECT_EQ(Utf8ToAnsi(AnsiToUtf8(all)), all);
}
