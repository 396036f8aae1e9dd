#include "http/url.h"

#include "platform/codepage.h"
#include "platform/strconv.h"

using namespace http;
using namespace platform;

namespace {
int HexDigit(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

bool IsUtf8(std::string_view s) {
    for (size_t i = 0; i < s.size();) {
        const auto b = static_cast<unsigned char>(s[i]);
        const size_t len = b < 0x80 ? 1 : (b >> 5) == 6 ? 2 : (b >> 4) == 14 ? 3 : (b >> 3) == 30 ? 4 : 0;
        if (len == 0 || i + len > s.size()) return false;
        for (size_t k = 1; k < len; ++k)
            if ((static_cast<unsigned char>(s[i + k]) & 0xC0) != 0x80) return false;
        i += len;
    }
    return true;
}
}  // namespace

TUrlParts SplitUrl(const std::string& Url) {
    TUrlParts u;
    u.Protocol = "http";
    u.Port = "80";

    std::string rest = Url;
    if (Url.find("://") != std::string::npos) {
        u.Protocol = SeparateLeft(Url, "://");
        rest = SeparateRight(Url, "://");
    }
    if (SameText(u.Protocol, "HTTPS"))
        u.Port = "443";
    else if (SameText(u.Protocol, "FTP"))
        u.Port = "21";

    const size_t at = rest.find('@'), slash = rest.find('/');
    if (at != std::string::npos && (slash == std::string::npos || at < slash)) {
        const std::string credentials = SeparateLeft(rest, "@");
        rest = SeparateRight(rest, "@");
        if (credentials.find(':') != std::string::npos) {
            u.User = SeparateLeft(credentials, ":");
            u.Password = SeparateRight(credentials, ":");
        } else {
            u.User = credentials;
        }
    }

    std::string hostPart = rest, pathPart;
    if (rest.find('/') != std::string::npos) {
        hostPart = SeparateLeft(rest, "/");
        pathPart = SeparateRight(rest, "/");
    }

    if (!hostPart.empty() && hostPart[0] == '[') {
        const std::string inside = hostPart.substr(1);
        u.Host = SeparateLeft(inside, "]");
        const size_t close = inside.find(']');
        if (close != std::string::npos && close + 1 < inside.size() && inside[close + 1] == ':')
            u.Port = inside.substr(close + 2);
    } else if (hostPart.find(':') != std::string::npos) {
        u.Host = SeparateLeft(hostPart, ":");
        u.Port = SeparateRight(hostPart, ":");
    } else {
        u.Host = hostPart;
    }

    // A blank or control character (a trailing blank in SERVERPATH) would end or split the
    // request line: it goes onto the wire encoded.
    u.Target = "/";
    for (const char c : pathPart) {
        const auto b = static_cast<unsigned char>(c);
        if (b > 0x20 && b != 0x7F) {
            u.Target += c;
        } else {
            static const char kHex[] = "0123456789ABCDEF";
            u.Target += {'%', kHex[b >> 4], kHex[b & 15]};
        }
    }
    u.Path = "/" + SeparateLeft(pathPart, "?");
    // Without a "?" there is no query (the path already holds the whole text).
    if (pathPart.find('?') != std::string::npos) u.Query = SeparateRight(pathPart, "?");
    if (u.Host.empty()) u.Host = "localhost";
    return u;
}

namespace http {

std::string DecodeUrlText(std::string_view Text) {
    std::string bytes;
    bytes.reserve(Text.size());
    for (size_t i = 0; i < Text.size(); ++i) {
        int hi, lo;
        if (Text[i] == '%' && i + 2 < Text.size() && (hi = HexDigit(Text[i + 1])) >= 0 &&
            (lo = HexDigit(Text[i + 2])) >= 0) {
            bytes += char(hi * 16 + lo);
            i += 2;
        } else {
            bytes += Text[i];
        }
    }
    return IsUtf8(bytes) ? bytes : AnsiToUtf8(bytes);
}

}  // namespace http
