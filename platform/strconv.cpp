#include "platform/strconv.h"

#include <cstdarg>
#include <cstdio>

#include "platform/errors.h"

namespace platform {

namespace {
bool IsBlankOrControl(char c) { return static_cast<unsigned char>(c) <= ' '; }
char Upper(char c) { return (c >= 'a' && c <= 'z') ? char(c - 32) : c; }
char Lower(char c) { return (c >= 'A' && c <= 'Z') ? char(c + 32) : c; }

bool ParseInteger(std::string_view s, int64_t lo, int64_t hi, int64_t& out) {
    size_t i = 0;
    while (i < s.size() && s[i] == ' ') ++i;
    bool negative = false;
    if (i < s.size() && (s[i] == '+' || s[i] == '-')) negative = s[i++] == '-';
    int base = 10;
    if (i < s.size() && s[i] == '$') {
        base = 16, ++i;
    } else if (i < s.size() && (s[i] == 'x' || s[i] == 'X')) {
        base = 16, ++i;
    } else if (i + 1 < s.size() && s[i] == '0' && (s[i + 1] == 'x' || s[i + 1] == 'X')) {
        base = 16, i += 2;
    }
    if (i == s.size()) return false;
    // Accumulate as unsigned with an early stop, so a long run of digits cannot overflow.
    uint64_t value = 0;
    const uint64_t limit = uint64_t(hi) + 1;
    for (; i < s.size(); ++i) {
        int d;
        char c = s[i];
        if (c >= '0' && c <= '9')
            d = c - '0';
        else if (base == 16 && c >= 'a' && c <= 'f')
            d = c - 'a' + 10;
        else if (base == 16 && c >= 'A' && c <= 'F')
            d = c - 'A' + 10;
        else
            return false;
        // Checked before the multiplication: past the limit a 64-bit value would wrap.
        if (value > (limit - uint64_t(d)) / uint64_t(base)) return false;
        value = value * base + d;
    }
    if (negative) {
        if (value > uint64_t(-(lo + 1)) + 1) return false;
        out = value == 0 ? 0 : -int64_t(value - 1) - 1;
    } else {
        if (value > uint64_t(hi)) return false;
        out = int64_t(value);
    }
    return true;
}
}  // namespace

std::string TrimLeft(std::string_view s) {
    size_t b = 0;
    while (b < s.size() && IsBlankOrControl(s[b])) ++b;
    return std::string(s.substr(b));
}

std::string TrimRight(std::string_view s) {
    size_t e = s.size();
    while (e > 0 && IsBlankOrControl(s[e - 1])) --e;
    return std::string(s.substr(0, e));
}

std::string Trim(std::string_view s) { return TrimLeft(TrimRight(s)); }

std::string UpperCase(std::string_view s) {
    std::string r(s);
    for (char& c : r) c = Upper(c);
    return r;
}

std::string LowerCase(std::string_view s) {
    std::string r(s);
    for (char& c : r) c = Lower(c);
    return r;
}

bool SameText(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    for (size_t i = 0; i < a.size(); ++i)
        if (Upper(a[i]) != Upper(b[i])) return false;
    return true;
}

bool StartsText(std::string_view prefix, std::string_view s) {
    return s.size() >= prefix.size() && SameText(prefix, s.substr(0, prefix.size()));
}

bool TryStrToInt(std::string_view s, int32_t& out) {
    int64_t v;
    if (!ParseInteger(s, INT32_MIN, INT32_MAX, v)) return false;
    out = int32_t(v);
    return true;
}

bool TryStrToInt64(std::string_view s, int64_t& out) { return ParseInteger(s, INT64_MIN, INT64_MAX, out); }

int32_t StrToIntDef(std::string_view s, int32_t def) {
    int32_t v;
    return TryStrToInt(s, v) ? v : def;
}

int32_t StrToInt(std::string_view s) {
    int32_t v;
    if (!TryStrToInt(s, v)) throw EConvertError("''" + std::string(s) + "'' is not a valid integer value");
    return v;
}

std::string SeparateLeft(std::string_view s, std::string_view sep) {
    size_t p = s.find(sep);
    return std::string(p == std::string_view::npos ? s : s.substr(0, p));
}

std::string SeparateRight(std::string_view s, std::string_view sep) {
    size_t p = s.find(sep);
    return std::string(p == std::string_view::npos ? s : s.substr(p + sep.size()));
}

std::string ReplaceAll(std::string s, std::string_view from, std::string_view to) {
    if (from.empty()) return s;
    for (size_t p = s.find(from); p != std::string::npos; p = s.find(from, p + to.size()))
        s.replace(p, from.size(), to);
    return s;
}

std::string ReplaceAllText(std::string_view s, std::string_view from, std::string_view to) {
    if (from.empty()) return std::string(s);
    const std::string upper = UpperCase(s), key = UpperCase(from);
    std::string out;
    size_t start = 0;
    for (size_t p = upper.find(key); p != std::string::npos; p = upper.find(key, start)) {
        out.append(s.substr(start, p - start)).append(to);
        start = p + from.size();
    }
    out.append(s.substr(start));
    return out;
}

std::string Format(const char* fmt, ...) {
    va_list ap;
    va_start(ap, fmt);
    va_list copy;
    va_copy(copy, ap);
    int n = std::vsnprintf(nullptr, 0, fmt, copy);
    va_end(copy);
    std::string out(n > 0 ? size_t(n) : 0, '\0');
    if (n > 0) std::vsnprintf(out.data(), out.size() + 1, fmt, ap);
    va_end(ap);
    return out;
}

}  // namespace platform
