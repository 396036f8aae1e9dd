#include "platform/codepage.h"

#include "platform/utf8.h"

namespace platform {

using utf8::AppendUtf8;
using utf8::NextCodePoint;

namespace {
// 0x80..0x9F of Windows-1252; the five unassigned bytes map to the C1 controls of the same
// value, as Windows does, so every byte survives a round trip.
constexpr char32_t kHigh[32] = {0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
                                0x2039, 0x0152, 0x008D, 0x017D, 0x008F, 0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
                                0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178};

}  // namespace

std::string AnsiToUtf8(std::string_view ansi) {
    std::string out;
    out.reserve(ansi.size());
    for (char ch : ansi) {
        const auto b = static_cast<unsigned char>(ch);
        if (b < 0x80)
            out += ch;
        else
            AppendUtf8(out, b < 0xA0 ? kHigh[b - 0x80] : char32_t(b));
    }
    return out;
}

std::string Utf8ToAnsi(std::string_view utf8) {
    std::string out;
    out.reserve(utf8.size());
    for (size_t i = 0; i < utf8.size();) {
        if (static_cast<unsigned char>(utf8[i]) < 0x80) {
            out += utf8[i++];
            continue;
        }
        const char32_t c = NextCodePoint(utf8, i);
        char mapped = '?';
        if (c >= 0xA0 && c <= 0xFF) {
            mapped = char(c);
        } else {
            for (int k = 0; k < 32; ++k)
                if (kHigh[k] == c) mapped = char(0x80 + k);
        }
        out += mapped;
    }
    return out;
}

}  // namespace platform
