#pragma once
// The proxy settings of the conventional environment variables (http_proxy, https_proxy,
// all_proxy, no_proxy; either case, the lower-case one wins) in the shape of the Windows
// Internet settings: http_proxy=http://user:pw@p1:80/ and all_proxy=p0:3128 give the proxy
// server text "http=p1:80 p0:3128"; no_proxy's entries become a comma-separated bypass list.
#include <string>
#include <string_view>

#include "platform/os_services.h"

namespace platform {

// False when none of the variables is set (or all are empty).
bool ProxySettingsFromEnvironment(TSystemProxyText& Out);

// One variable's value as "host:port": scheme, credentials and any path removed; without a
// port, the scheme's (80 for http, 443 for https) or else 1080, the customary proxy port.
// Empty for a scheme other than http or https (socks5://...): that proxy is not used.
std::string ProxyHostPort(std::string_view Value);
// Value without the credentials it may carry ("socks5://user:pw@s:1080" -> "socks5://s:1080").
std::string ProxyValueForLog(std::string_view Value);

}  // namespace platform
