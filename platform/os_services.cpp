// The services in force (the system's, or a stand-in a test installs) and the shortcuts to them.
#include "platform/os_services.h"

#include <cctype>

namespace platform {

namespace {
TOSServices* g_installed = nullptr;
}  // namespace

TOSServices& OSServices() {
    static TOSServices system;
    return g_installed ? *g_installed : system;
}

void SetOSServices(TOSServices* Services) { g_installed = Services; }

bool IsUrl(const std::string& s) {
    const size_t colon = s.find(':');
    if (colon == std::string::npos || colon < 2) return false;  // "C:" is a drive, not a scheme
    for (size_t i = 0; i < colon; ++i) {
        const char c = s[i];
        if (!(std::isalnum(static_cast<unsigned char>(c)) || c == '+' || c == '-' || c == '.')) return false;
    }
    return true;
}

}  // namespace platform

int RunAndWait(const std::string& FileName, const std::string& Params, int TimeOut, const std::string& ProgramFolder) {
    return platform::OSServices().RunAndWait(FileName, Params, TimeOut, ProgramFolder);
}

bool IsUacEnabled() { return platform::OSServices().IsUacEnabled(); }
