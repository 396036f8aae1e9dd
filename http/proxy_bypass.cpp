#include "http/proxy_bypass.h"

#include <string>

#include "platform/strconv.h"

using namespace platform;

namespace http {

namespace {
// Glob match with "*" only, both sides already in lower case.
bool Matches(std::string_view Pattern, std::string_view Text) {
    size_t p = 0, t = 0, star = std::string_view::npos, resume = 0;
    while (t < Text.size()) {
        if (p < Pattern.size() && Pattern[p] == '*') {
            star = p++;
            resume = t;
        } else if (p < Pattern.size() && Pattern[p] == Text[t]) {
            ++p;
            ++t;
        } else if (star != std::string_view::npos) {
            p = star + 1;
            t = ++resume;
        } else {
            return false;
        }
    }
    while (p < Pattern.size() && Pattern[p] == '*') ++p;
    return p == Pattern.size();
}

bool EntryMatches(std::string entry, const std::string& Host, std::string_view Port) {
    if (entry == "<local>") return Host.find('.') == std::string::npos;
    if (const size_t p = entry.find("://"); p != std::string::npos) entry.erase(0, p + 3);
    std::string port;
    if (!entry.empty() && entry.front() == '[') {
        const size_t close = entry.find(']');
        if (close != std::string::npos) {
            if (close + 1 < entry.size() && entry[close + 1] == ':') port = entry.substr(close + 2);
            entry = entry.substr(1, close - 1);
        }
    } else if (const size_t colon = entry.rfind(':');
               colon != std::string::npos && entry.find(':') == colon) {  // not a bare IPv6 address
        port = entry.substr(colon + 1);
        entry.erase(colon);
    }
    if (!port.empty() && port != "*" && port != Port) return false;
    return !entry.empty() && Matches(entry, Host);
}
}  // namespace

bool ProxyBypassed(std::string_view Bypass, std::string_view Host, std::string_view Port) {
    const std::string host = LowerCase(Host);
    std::string entry;
    for (size_t i = 0; i <= Bypass.size(); ++i) {
        const char c = i < Bypass.size() ? Bypass[i] : ',';
        if (c != ',' && c != ';' && c != ' ' && c != '\t') {
            entry += c;
            continue;
        }
        if (!entry.empty() && EntryMatches(LowerCase(entry), host, Port)) return true;
        entry.clear();
    }
    return false;
}

}  // namespace http
