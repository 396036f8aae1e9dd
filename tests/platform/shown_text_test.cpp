#include <gtest/gtest.h>

#include "platform/shown_text.h"

using platform::ShownText;

TEST(ShownText, ControlCharactersAsHexEverythingElseUnchanged) {
    struct Case {
        std::string in, out;
    } cases[] = {
        {"plain text, blanks and ~", "plain text, blanks and ~"}, {"a\r\nb", "a\\x0D\\x0Ab"},
        {std::string("\x00\x1F\x7F", 3), "\\x00\\x1F\\x7F"},      {"\x1B]0;t\x07", "\\x1B]0;t\\x07"},
        {"Caf\xC3\xA9 \x80\xFF", "Caf\xC3\xA9 \x80\xFF"},  // bytes above 0x7F are text
    };
    for (const auto& c : cases) EXPECT_EQ(ShownText(c.in), c.out) << c.out;
}
