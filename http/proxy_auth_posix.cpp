// The platform's part of proxy authentication on POSIX: credentials come from the proxy URL
// only (see proxy_environment), so nothing is answered without them.
#include <unistd.h>

#include "http/proxy_auth.h"

namespace http {

std::unique_ptr<TProxyAuthSession> PlatformProxySession(const std::vector<TProxyChallenge>&, const std::string&) {
    return nullptr;
}

std::string WorkstationName() {
    char name[256] = {};
    if (gethostname(name, sizeof name - 1) != 0) return {};
    std::string s(name);
    if (const size_t dot = s.find('.'); dot != std::string::npos) s.erase(dot);
    return s;
}

}  // namespace http
