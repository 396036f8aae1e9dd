#include "http/cookie_jar.h"

#include "platform/strconv.h"

using namespace platform;

namespace http {

namespace {
bool HasSecureAttribute(const std::string& SetCookieValue) {
    size_t start = SetCookieValue.find(';');
    while (start != std::string::npos) {
        const size_t end = SetCookieValue.find(';', start + 1);
        const std::string attribute =
            Trim(SetCookieValue.substr(start + 1, end == std::string::npos ? end : end - start - 1));
        if (SameText(attribute, "Secure")) return true;
        start = end;
    }
    return false;
}
}  // namespace

void TCookieJar::Update(const std::string& Host, bool Https, const TStringList& Headers) {
    for (const std::string& line : Headers.Lines()) {
        if (!StartsText("set-cookie:", line)) continue;
        const std::string value = SeparateRight(line, ":");
        const std::string pair = Trim(SeparateLeft(value, ";"));
        TCookie cookie{Host, Trim(SeparateLeft(pair, "=")), Trim(SeparateRight(pair, "=")), HasSecureAttribute(value)};
        if (cookie.Secure && !Https) continue;
        auto same = [&](const TCookie& c) { return SameText(c.Host, Host) && SameText(c.Name, cookie.Name); };
        auto it = items_.begin();
        while (it != items_.end() && !same(*it)) ++it;
        if (cookie.Value.empty()) {
            if (it != items_.end()) items_.erase(it);
        } else if (it != items_.end()) {
            *it = std::move(cookie);
        } else {
            items_.push_back(std::move(cookie));
        }
    }
}

std::vector<std::string> TCookieJar::For(const std::string& Host, bool Https) const {
    std::vector<std::string> out;
    for (const TCookie& c : items_)
        if (SameText(c.Host, Host) && (Https || !c.Secure)) out.push_back(c.Name + "=" + c.Value);
    return out;
}

}  // namespace http
