#pragma once
// The bypass list of the proxy settings, applied to the host of each request.
#include <string_view>

namespace http {

// Whether Host (with Port) goes straight out under Bypass, entries separated by commas,
// semicolons or blanks, compared without regard to case:
// - "<local>": a host name without a dot;
// - a host, with "*" standing for any run of characters ("*.corp.local", "10.*", "*");
// - an optional "scheme://" in front and ":port" after an entry: the port must match too.
bool ProxyBypassed(std::string_view Bypass, std::string_view Host, std::string_view Port);

}  // namespace http
