#include "platform/shown_text.h"

namespace platform {

std::string ShownText(std::string_view Text) {
    static const char kHex[] = "0123456789ABCDEF";
    std::string out;
    out.reserve(Text.size());
    for (const char ch : Text) {
        const auto c = static_cast<unsigned char>(ch);
        if (c < 0x20 || c == 0x7F) {
            out += "\\x";
            out += kHex[c >> 4];
            out += kHex[c & 15];
        } else {
            out += ch;
        }
    }
    return out;
}

}  // namespace platform
