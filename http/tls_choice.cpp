// The plug-in class is chosen once, before the first socket needs one; later sockets all get
// the same class. The lock of std::call_once serialises concurrent first uses.
#include <atomic>
#include <mutex>

#include "http/socket_errors.h"
#include "http/tls_plugins.h"
#include "http/tls_verification.h"

namespace http {

namespace {
std::once_flag g_chosen;
bool g_haveSystemTLS = false;
std::atomic<bool> g_forceNone{false};
}  // namespace

std::string HandshakeWaitText(int WaitError) {
    return WaitError == wsTimedOut            ? "TLS handshake timed out"
           : WaitError == wsConnectionAborted ? "TLS handshake stopped"
                                              : "TLS handshake wait failed";
}

std::unique_ptr<TTLSPlugin> CreateTLSPlugin() {
    std::call_once(g_chosen, [] { g_haveSystemTLS = SystemTLSAvailable(); });
    std::unique_ptr<TTLSPlugin> plugin;
    if (g_haveSystemTLS && !g_forceNone.load())
        plugin = CreateSystemTLSPlugin();
    else
        plugin = std::make_unique<TTLSNone>();
    const TTLSVerifyDefaults verify = TLSVerifyDefaults();
    plugin->VerifyCert = verify.VerifyCert;
    plugin->CAFile = verify.CAFile;
    return plugin;
}

void ForceTLSNone(bool Force) { g_forceNone = Force; }

}  // namespace http
