// The plug-in class is chosen once, before the first socket needs one; later sockets all get
// the same class. The lock of std::call_once serialises concurrent first uses.
#include <atomic>
#include <mutex>

#include "http/tls_plugins.h"

namespace {
std::once_flag g_chosen;
bool g_haveOpenSSL = false;
std::atomic<bool> g_forceNone{false};
}  // namespace

std::unique_ptr<TTLSPlugin> CreateTLSPlugin() {
    std::call_once(g_chosen, [] { g_haveOpenSSL = TTLSOpenSSL3::Available(); });
    if (g_haveOpenSSL && !g_forceNone.load()) return std::make_unique<TTLSOpenSSL3>();
    return std::make_unique<TTLSNone>();
}

void ForceTLSNone(bool Force) { g_forceNone = Force; }
