#include "platform/proxy_environment.h"

#include <cstdlib>
#include <string_view>

#include "platform/strconv.h"
#include "platform/url_secrets.h"

namespace platform {

namespace {
std::string Variable(const char* lower) {
    const char* v = std::getenv(lower);
    if (v && *v) return v;
    v = std::getenv(UpperCase(lower).c_str());
    return v ? v : "";
}

// The proxy text's separators and "=" written raw in credentials, percent-encoded: the
// lookup decodes them again.
std::string EscapeSeparators(std::string_view s) {
    std::string out;
    for (const char c : s) {
        if (c == ' ' || c == '\t' || c == ',' || c == ';' || c == '=' || c == '/')
            out += Format("%%%02X", static_cast<unsigned char>(c));
        else
            out += c;
    }
    return out;
}
}  // namespace

std::string ProxyHostPort(std::string_view Value) {
    std::string v = Trim(Value);
    std::string scheme;
    if (const size_t p = v.find("://"); p != std::string::npos) {
        scheme = LowerCase(v.substr(0, p));
        v.erase(0, p + 3);
    }
    // The client speaks HTTP to its proxies: a SOCKS proxy taken as one fails every request.
    if (!scheme.empty() && scheme != "http" && scheme != "https") return {};
    // Credentials first: a password may hold a raw "/" (the path's "@" is far less likely).
    std::string credentials;
    if (const size_t at = v.rfind('@'); at != std::string::npos) {
        credentials = EscapeSeparators(v.substr(0, at));
        v.erase(0, at + 1);
    }
    if (const size_t slash = v.find('/'); slash != std::string::npos) v.erase(slash);
    if (v.empty()) return v;
    const size_t bracket = v.rfind(']');
    const bool hasPort = v.find(':', bracket == std::string::npos ? 0 : bracket) != std::string::npos;
    if (!hasPort) v += scheme == "http" ? ":80" : scheme == "https" ? ":443" : ":1080";
    return credentials.empty() ? v : credentials + "@" + v;
}

bool ProxySettingsFromEnvironment(TSystemProxyText& Out) {
    Out = {};
    const std::string http = Variable("http_proxy"), https = Variable("https_proxy"), all = Variable("all_proxy"),
                      bypass = Variable("no_proxy");
    if (http.empty() && https.empty() && all.empty() && bypass.empty()) return false;

    auto add = [&](const std::string& prefix, const std::string& value, const char* name) {
        const std::string hostPort = ProxyHostPort(value);
        if (hostPort.empty()) {
            if (Trim(value).empty()) return;
            if (!Out.Ignored.empty()) Out.Ignored += ' ';
            Out.Ignored += std::string(name) + "=" + MaskUrlSecrets(Trim(value));
            return;
        }
        if (!Out.ProxyServer.empty()) Out.ProxyServer += ' ';
        Out.ProxyServer += prefix + hostPort;
    };
    add("http=", http, "http_proxy");
    add("https=", https, "https_proxy");
    add("", all, "all_proxy");

    // no_proxy names a domain with its sub-domains, with or without a leading dot.
    auto addBypass = [&](const std::string& e) {
        if (!Out.ProxyBypass.empty()) Out.ProxyBypass += ',';
        Out.ProxyBypass += e;
    };
    std::string entry;
    for (size_t i = 0; i <= bypass.size(); ++i) {
        const char c = i < bypass.size() ? bypass[i] : ',';
        if (c != ',' && c != ' ' && c != '\t') {
            entry += c;
            continue;
        }
        if (entry.empty()) continue;
        if (entry.find('*') != std::string::npos) {
            addBypass(entry);
        } else {
            const std::string domain = entry.front() == '.' ? entry.substr(1) : entry;
            const bool address = domain.find_first_not_of("0123456789.") == std::string::npos ||
                                 domain.find(':') != std::string::npos;
            if (!domain.empty()) addBypass(domain);
            if (!domain.empty() && !address) addBypass("*." + domain);
        }
        entry.clear();
    }
    return true;
}

}  // namespace platform
