#pragma once
// URL splitting as the transport and the sender read a URL.
#include <string>
#include <string_view>

// The parts of a URL as the transport splits it. Target is "/" + everything after the host
// (path and query) as the request line carries it, blanks and control characters
// percent-encoded; Path and Query are that text as written, split at its first "?".
namespace http {
struct TUrlParts {
    std::string Protocol, User, Password, Host, Port, Path, Query, Target;
};
}  // namespace http

http::TUrlParts SplitUrl(const std::string& Url);

// Percent-decodes URL credentials. A "%" not followed by two hexadecimal digits stays as it
// is. The result is UTF-8: decoded bytes that are not valid UTF-8 are read as Windows-1252.
namespace http {
std::string DecodeUrlText(std::string_view Text);
}  // namespace http
