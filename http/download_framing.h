#pragma once
// What a downloader demands of a reply's framing before it stores a byte of the body: a file
// that arrives with a length nobody can vouch for, or encoded, would be installed as is.
#include <cstdint>
#include <string>
#include <string_view>

#include "http/http_exchange.h"

namespace http {

// Empty when the head frames its body plainly; otherwise why not, as a clause ("its ...").
// Refused: Content-Length lines that disagree, a Content-Length that is not a plain decimal
// number (a sign, inner blanks, no digits), a Content-Encoding other than identity.
std::string FramingFault(const TReply& Head);

struct TContentRange {
    int64_t First = 0, Last = 0, Total = 0;
};
// "bytes First-Last/Total" with First <= Last < Total; false for anything else ("*" totals,
// lists, signs, blanks inside the numbers).
bool ParseContentRange(std::string_view Value, TContentRange& Range);

}  // namespace http
