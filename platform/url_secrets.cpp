#include "platform/url_secrets.h"

namespace platform {

namespace {
// Where a URL written inside other text ends.
bool EndsUrl(unsigned char c) { return c <= ' ' || c == 0x7F || c == '"' || c == '\'' || c == '<' || c == '>'; }

// Span: one URL's text after "://" (or a proxy entry), its user information masked.
std::string MaskSpan(std::string_view Span) {
    // A password may hold "@" or "/", a path may hold "@": an "@" before the first "/" ends
    // the user information at the last such "@"; otherwise the last "@" of all does.
    const size_t slash = Span.find('/');
    size_t at = Span.rfind('@', slash == std::string_view::npos ? std::string_view::npos : slash);
    if (at == std::string_view::npos || (slash != std::string_view::npos && at > slash)) at = Span.rfind('@');
    if (at == std::string_view::npos) return std::string(Span);
    const std::string_view info = Span.substr(0, at);
    const size_t colon = info.find(':');
    // No password to hide; and a "user" holding "/" is a path with an "@" in it.
    if (colon == std::string_view::npos) return std::string(Span);
    const std::string_view user = info.substr(0, colon);
    if (user.find_first_of("/?#") != std::string_view::npos) return std::string(Span);
    return std::string(user) + ":***" + std::string(Span.substr(at));
}
}  // namespace

std::string MaskUrlSecrets(std::string_view Text) {
    std::string out;
    out.reserve(Text.size());
    size_t pos = 0;
    for (;;) {
        const size_t mark = Text.find("://", pos);
        if (mark == std::string_view::npos) break;
        const size_t from = mark + 3;
        size_t end = from;
        while (end < Text.size() && !EndsUrl(static_cast<unsigned char>(Text[end]))) ++end;
        out.append(Text.substr(pos, from - pos));
        out += MaskSpan(Text.substr(from, end - from));
        pos = end;
    }
    out.append(Text.substr(pos));
    return out;
}

}  // namespace platform
