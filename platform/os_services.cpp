// The services in force (the system's, or a stand-in a test installs) and the shortcuts to them.
#include "platform/os_services.h"

namespace platform {

namespace {
TOSServices* g_installed = nullptr;
}  // namespace

TOSServices& OSServices() {
    static TOSServices system;
    return g_installed ? *g_installed : system;
}

void SetOSServices(TOSServices* Services) { g_installed = Services; }

}  // namespace platform

int RunAndWait(const std::string& FileName, const std::string& Params, int TimeOut, const std::string& ProgramFolder) {
    return platform::OSServices().RunAndWait(FileName, Params, TimeOut, ProgramFolder);
}

bool IsUacEnabled() { return platform::OSServices().IsUacEnabled(); }
