#include "http/http_request.h"

#include "platform/base64.h"
#include "platform/codepage.h"
#include "platform/strconv.h"

using namespace platform;

namespace http {

namespace {
std::string Bracketed(const std::string& Host) { return Host.find(':') != std::string::npos ? "[" + Host + "]" : Host; }

std::string BasicCredentials(const std::string& User, const std::string& Password) {
    return EncodeBase64(Utf8ToAnsi(User + ":" + Password));
}
}  // namespace

std::vector<std::string> BuildRequestLines(const TRequestHeadInput& In) {
    const TUrlParts& u = In.Url;
    std::vector<std::string> lines;

    std::string target = u.Target;
    if (In.ViaProxy)
        target = u.Protocol + "://" + Bracketed(u.Host) + ":" + u.Port + target;
    else if (target == "/*")
        target = "*";
    std::string requestLine = UpperCase(In.Method) + " " + target;
    if (In.Protocol != "0.9") requestLine += " HTTP/" + In.Protocol;
    lines.push_back(std::move(requestLine));

    std::string host = "Host: " + Bracketed(u.Host);
    const bool nonDefaultPort =
        (SameText(u.Protocol, "HTTP") && u.Port != "80") || (SameText(u.Protocol, "HTTPS") && u.Port != "443");
    if (In.AddPortNumberToHost && nonDefaultPort) host += ":" + u.Port;
    lines.push_back(std::move(host));

    if (In.ViaProxy && !In.ProxyUser.empty())
        lines.push_back("Proxy-Authorization: Basic " + BasicCredentials(In.ProxyUser, In.ProxyPass));
    if (!In.User.empty()) lines.push_back("Authorization: Basic " + BasicCredentials(In.User, In.Password));
    if (In.KeepAlive) lines.push_back("Keep-Alive: " + std::to_string(In.KeepAliveTimeout));
    lines.push_back(std::string(In.ViaProxy ? "Proxy-" : "") +
                    (In.KeepAlive ? "Connection: keep-alive" : "Connection: close"));
    if (In.Cookies && !In.Cookies->Empty()) {
        std::string cookie = "Cookie: ";
        for (int i = 0; i < In.Cookies->Count(); ++i) {
            if (i > 0) cookie += "; ";
            cookie += (*In.Cookies)[i];
        }
        lines.push_back(std::move(cookie));
    }
    if (!In.UserAgent.empty()) lines.push_back("User-Agent: " + In.UserAgent);
    if (In.BodySize > 0 && !In.MimeType.empty()) lines.push_back("Content-Type: " + In.MimeType);
    if (In.BodySize > 0) lines.push_back("Content-Length: " + std::to_string(In.BodySize));
    lines.insert(lines.end(), In.ExtraLines.begin(), In.ExtraLines.end());
    if (!lines.back().empty()) lines.emplace_back();
    return lines;
}

std::string RequestHeadText(const std::vector<std::string>& Lines, const std::string& Protocol) {
    std::string text;
    for (const std::string& line : Lines) {
        text += Utf8ToAnsi(line);
        text += "\r\n";
        if (Protocol == "0.9") break;
    }
    return text;
}

}  // namespace http
