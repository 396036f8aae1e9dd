#pragma once
// Shared by the sender and downloader tests: an OS-services stand-in that answers the proxy
// lookup and the Windows 9x question, and a recorder of the sender's three events.
#include <string>
#include <vector>

#include "http/zel_http_send.h"
#include "platform/os_services.h"

// Proxy settings and the platform family as a test wants them; counts the lookups.
class FakeProxyServices : public platform::TOSServices {
public:
    bool HasSource = true;  // false: the system offers no proxy settings at all
    platform::TSystemProxyText Text;
    bool Windows9x = false;
    int Lookups = 0;

    bool ReadProxySettings(platform::TSystemProxyText& out) override {
        ++Lookups;
        if (HasSource) out = Text;
        return HasSource;
    }
    bool IsWindows9x() override { return Windows9x; }
};

// Installs Services for the life of the object.
class ScopedOSServices {
public:
    explicit ScopedOSServices(platform::TOSServices& Services) { platform::SetOSServices(&Services); }
    ~ScopedOSServices() { platform::SetOSServices(nullptr); }
    ScopedOSServices(const ScopedOSServices&) = delete;
    ScopedOSServices& operator=(const ScopedOSServices&) = delete;
};

// The events of one sender in the order they came: "connect:<value>", "error:<value>",
// "close:<value>".
struct EventLog {
    std::vector<std::string> Events;
    void Attach(TzelHttpSend& Sender) {
        Sender.OnConnect = [this](TzelHttpSend&, const std::string& v) { Events.push_back("connect:" + v); };
        Sender.OnSocketError = [this](TzelHttpSend&, const std::string& v) { Events.push_back("error:" + v); };
        Sender.OnCloseSocket = [this](TzelHttpSend&, const std::string& v) { Events.push_back("close:" + v); };
    }
};

// A host name that can never resolve and that the resolver refuses without asking a name
// server (a label longer than 63 characters), so the test stays on this machine.
inline std::string UnresolvableHost() { return std::string(64, 'a') + ".invalid"; }

inline std::string Reply200(const std::string& Body) {
    return "HTTP/1.0 200 OK\r\nContent-Length: " + std::to_string(Body.size()) + "\r\n\r\n" + Body;
}
