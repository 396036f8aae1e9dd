// The resolver's rules, alike on every platform: which host text goes to the OS, which of its
// answers a connection takes, and what a port may be. The OS calls are the platform's.
#include <algorithm>
#include <cctype>
#include <cstring>

#include "http/address_lookup.h"
#include "http/socket_errors.h"
#include "http/socket_io.h"

namespace http {

std::string Unbracketed(const std::string& Host) {
    if (Host.size() >= 2 && Host.front() == '[' && Host.back() == ']') return Host.substr(1, Host.size() - 2);
    return Host;
}

bool IsIPLiteral(const std::string& Host) { return ParsesAsIPAddress(Unbracketed(Host)); }

std::string ResolverHost(const std::string& Host) {
    const std::string host = Unbracketed(Host);
    return host.empty() ? "0.0.0.0" : host;
}

bool IsNeverResolved(const std::string& Host) {
    std::string h = Host;
    while (!h.empty() && h.back() == '.') h.pop_back();
    for (char& c : h) c = char(std::tolower(static_cast<unsigned char>(c)));
    return h == "invalid" || (h.size() > 8 && h.compare(h.size() - 8, 8, ".invalid") == 0);
}

int ResolveAddress(const std::string& Host, const std::string& Port, bool PreferIP4, TSockAddr& Out) {
    const std::string host = ResolverHost(Host);
    if (IsNeverResolved(host)) return wsHostNotFound;
    std::vector<TSockAddr> found;
    const int rc = LookUpAddresses(host, Port.empty() ? "0" : Port, IsIPLiteral(host), found);
    if (rc != 0) return rc;
    if (found.empty()) return wsAddressFamilyNotSupported;
    auto pick = found.begin();
    if (PreferIP4) {
        auto ip4 = std::find_if(found.begin(), found.end(), [](const TSockAddr& a) { return !a.IPv6; });
        if (ip4 != found.end()) pick = ip4;
    }
    Out = *pick;
    FillNumericForm(Out);
    return 0;
}

int PortNumber(const std::string& Port) {
    if (!Port.empty() && std::all_of(Port.begin(), Port.end(), [](char c) { return c >= '0' && c <= '9'; }))
        return Port.size() <= 5 && std::stoi(Port) <= 65535 ? std::stoi(Port) : -1;
    return Port.empty() ? -1 : ServicePort(Port);
}

bool HandleAddress(int Fd, bool Peer, std::string& IP, int& Port) {
    TSockAddr a;
    if (Fd < 0 || !HandleSockAddr(Fd, Peer, a)) return false;
    FillNumericForm(a);
    IP = a.IP;
    Port = a.Port;
    return true;
}

void AddFoundAddress(std::vector<TSockAddr>& Found, const void* Addr, size_t Len, bool IPv6) {
    if (Len > sizeof TSockAddr::Storage) return;
    TSockAddr& a = Found.emplace_back();
    std::memcpy(a.Storage, Addr, Len);
    a.Len = unsigned(Len);
    a.IPv6 = IPv6;
}

}  // namespace http
