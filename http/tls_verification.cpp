#include "http/tls_verification.h"

#include <mutex>

namespace http {

namespace {
std::mutex g_lock;
TTLSVerifyDefaults g_defaults;
}  // namespace

void SetTLSVerifyDefaults(const TTLSVerifyDefaults& Defaults) {
    std::lock_guard<std::mutex> hold(g_lock);
    g_defaults = Defaults;
}

TTLSVerifyDefaults TLSVerifyDefaults() {
    std::lock_guard<std::mutex> hold(g_lock);
    return g_defaults;
}

}  // namespace http
