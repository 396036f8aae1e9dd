#pragma once
// The proxy settings of the conventional environment variables (http_proxy, https_proxy,
// all_proxy, no_proxy; either case, the lower-case one wins) in the shape of the Windows
// Internet settings: http_proxy=http://user:pw@p1:80/ and all_proxy=p0:3128 give the proxy
// server text "http=user:pw@p1:80 p0:3128" (credentials percent-encoded, so no separator can
// hide in them); no_proxy's entries become a comma-separated bypass list in the Windows
// form: "corp.local" and ".corp.local" both give "corp.local,*.corp.local".
#include <string>
#include <string_view>

#include "platform/os_services.h"

namespace platform {

// False when none of the variables is set (or all are empty).
bool ProxySettingsFromEnvironment(TSystemProxyText& Out);

// One variable's value as "host:port", or "user:password@host:port" when it carries
// credentials (percent-encoded): scheme and any path removed; without a port, the scheme's
// (80 for http, 443 for https) or else 1080, the customary proxy port. Empty for a scheme
// other than http or https (socks5://...): that proxy is not used.
std::string ProxyHostPort(std::string_view Value);

}  // namespace platform
