#include "http/tls_plugins.h"

using namespace http;

bool TTLSNone::Connect(int, int, const std::atomic<bool>*) {
    SSLEnabled = false;
    WaitError = 0;
    LastError = 1;
    LastErrorDesc = "SSL/TLS support is not compiled!";
    return false;
}

int TTLSNone::Send(const void*, int) { return -1; }
int TTLSNone::Recv(void*, int) { return -1; }
