#pragma once
// Building the request head of one exchange, apart from any connection.
#include <cstdint>
#include <string>
#include <vector>

#include "http/url.h"
#include "platform/string_list.h"

namespace http {

struct TRequestHeadInput {
    std::string Method;
    TUrlParts Url;
    std::string User, Password;  // for "Authorization: Basic", already decoded
    bool ViaProxy = false;       // plain HTTP through ProxyHost (absolute target)
    int64_t BodySize = 0;
    std::string Protocol = "1.0";
    bool KeepAlive = true;
    int KeepAliveTimeout = 300;
    std::string ProxyUser, ProxyPass;
    const platform::TStringList* Cookies = nullptr;
    std::string UserAgent;
    std::string MimeType;
    bool AddPortNumberToHost = true;
    std::vector<std::string> ExtraLines;  // the caller's own header lines, sent after ours
};

// Every line of the request head in sending order, ending with one empty line.
std::vector<std::string> BuildRequestLines(const TRequestHeadInput& In);

// The bytes that go on the wire for those lines, in the ANSI code page: each line + CR LF;
// with Protocol "0.9" only the request line.
std::string RequestHeadText(const std::vector<std::string>& Lines, const std::string& Protocol);

}  // namespace http
