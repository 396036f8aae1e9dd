#pragma once
// The plug-in classes behind CreateTLSPlugin. Tests and the chooser use them by name.
#include <memory>

#include "http/tls.h"

namespace http {

// No TLS: every handshake fails with "SSL/TLS support is not compiled!".
class TTLSNone final : public TTLSPlugin {
public:
    bool Connect(int Fd, int TimeoutMs, const std::atomic<bool>* Stop) override;
    int Send(const void* Buffer, int Len) override;
    int Recv(void* Buffer, int Len) override;
    int WaitingData() override { return 0; }
    void Shutdown() override { SSLEnabled = false; }
};

// The platform's own TLS library: OpenSSL on POSIX, Schannel on Windows. Available tells
// whether it is usable at all (checked once, by the chooser).
bool SystemTLSAvailable();
std::unique_ptr<TTLSPlugin> CreateSystemTLSPlugin();

// The text of a handshake that its wait ended: 10060 (time-out), 10053 (the stop flag) or the
// wait's own error.
std::string HandshakeWaitText(int WaitError);

// OpenSSL 3, linked at build time. The context and the connection live in RAII owners.
class TTLSOpenSSL3 final : public TTLSPlugin {
public:
    TTLSOpenSSL3();
    ~TTLSOpenSSL3() override;
    bool Connect(int Fd, int TimeoutMs, const std::atomic<bool>* Stop) override;
    int Send(const void* Buffer, int Len) override;
    int Recv(void* Buffer, int Len) override;
    int WaitingData() override;
    void Shutdown() override;

    // Whether the library is usable at all (checked once, by the chooser).
    static bool Available();

private:
    struct State;
    std::unique_ptr<State> state_;
};

// Schannel through SSPI, Windows' own TLS: the Windows build ships as one .exe.
class TTLSSchannel final : public TTLSPlugin {
public:
    TTLSSchannel();
    ~TTLSSchannel() override;
    bool Connect(int Fd, int TimeoutMs, const std::atomic<bool>* Stop) override;
    int Send(const void* Buffer, int Len) override;
    int Recv(void* Buffer, int Len) override;
    int WaitingData() override;
    void Shutdown() override;

private:
    struct State;
    std::unique_ptr<State> state_;
};

}  // namespace http
