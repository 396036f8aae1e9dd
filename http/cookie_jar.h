#pragma once
// The cookies servers set, each kept with the host that set it: a cookie goes back only to
// that host, and one marked Secure only over https.
#include <string>
#include <vector>

#include "platform/string_list.h"

namespace http {

struct TCookie {
    std::string Host;  // as written in the URL, compared without regard to case
    std::string Name, Value;
    bool Secure = false;
};

class TCookieJar {
public:
    // The Set-Cookie lines of a reply from Host: the text up to the first ";" is name=value,
    // replacing the cookie of the same host and name (names compared without regard to case);
    // an empty value removes it. A Secure cookie that came over plain http is not kept.
    void Update(const std::string& Host, bool Https, const platform::TStringList& Headers);
    // name=value of every cookie that may go to Host, in the order they were first set.
    std::vector<std::string> For(const std::string& Host, bool Https) const;
    const std::vector<TCookie>& Items() const { return items_; }
    void Clear() { items_.clear(); }

private:
    std::vector<TCookie> items_;
};

}  // namespace http
