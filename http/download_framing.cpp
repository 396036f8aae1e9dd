#include "http/download_framing.h"

#include <vector>

#include "platform/strconv.h"

using namespace platform;

namespace http {

namespace {
// Digits only, at most 18 of them, so the value fits 63 bits.
bool PlainDecimal(std::string_view s, int64_t& out) {
    if (s.empty() || s.size() > 18) return false;
    out = 0;
    for (const char c : s) {
        if (c < '0' || c > '9') return false;
        out = out * 10 + (c - '0');
    }
    return true;
}

std::string Quoted(const std::string& s) { return "\"" + s + "\""; }
}  // namespace

std::string FramingFault(const TReply& Head) {
    const std::vector<std::string> lengths = Head.Values("Content-Length");
    for (const std::string& value : lengths) {
        int64_t n = 0;
        if (!PlainDecimal(value, n)) return "its Content-Length " + Quoted(value) + " is not a plain decimal number";
    }
    for (const std::string& value : lengths) {
        if (value != lengths.front()) {
            std::string all;
            for (const std::string& v : lengths) all += (all.empty() ? "" : ", ") + Quoted(v);
            return "its Content-Length lines disagree (" + all + ")";
        }
    }
    for (const std::string& value : Head.Values("Content-Encoding")) {
        if (!SameText(value, "identity"))
            return "its body is sent with Content-Encoding " + Quoted(value) + ", and only identity is accepted";
    }
    return "";
}

bool ParseContentRange(std::string_view Value, TContentRange& Range) {
    constexpr std::string_view kUnit = "bytes ";
    if (Value.substr(0, kUnit.size()) != kUnit) return false;
    Value.remove_prefix(kUnit.size());
    const size_t dash = Value.find('-'), slash = Value.find('/');
    if (dash == std::string_view::npos || slash == std::string_view::npos || slash < dash) return false;
    TContentRange r;
    if (!PlainDecimal(Value.substr(0, dash), r.First) ||
        !PlainDecimal(Value.substr(dash + 1, slash - dash - 1), r.Last) ||
        !PlainDecimal(Value.substr(slash + 1), r.Total))
        return false;
    if (r.First > r.Last || r.Last >= r.Total) return false;
    Range = r;
    return true;
}

}  // namespace http
