#pragma once
// The TLS plug-in of a socket. The class is chosen once at start-up: OpenSSL 3 when it was
// linked in (Schannel on Windows), otherwise (or when a test forces it) the plug-in that has no TLS at all.
#include <atomic>
#include <memory>
#include <string>

namespace http {

enum class TSSLType { tlsAny };

class TTLSPlugin {
public:
    virtual ~TTLSPlugin() = default;
    // Handshake over the connected socket handle Fd, bounded by TimeoutMs (<= 0: no bound) and
    // ended within moments by a set Stop flag. False on failure with LastErrorDesc set; then
    // WaitError tells a handshake cut short by its wait (10060 time-out, 10053 stop) from one
    // that TLS itself refused (0).
    virtual bool Connect(int Fd, int TimeoutMs, const std::atomic<bool>* Stop) = 0;
    // The handle is non-blocking: Send and Recv return kWantRead / kWantWrite when they must
    // be called again with the same arguments once the handle is readable / writable.
    static constexpr int kWantRead = -2;
    static constexpr int kWantWrite = -3;
    virtual int Send(const void* Buffer, int Len) = 0;  // < 0 on error
    virtual int Recv(void* Buffer, int Len) = 0;        // < 0 on error, 0 when closed
    virtual int WaitingData() = 0;                      // bytes pending inside TLS
    virtual void Shutdown() = 0;

    bool SSLEnabled = false;
    int LastError = 0;
    int WaitError = 0;
    std::string LastErrorDesc;
    std::string SNIHost;
    // Host and port the connection leads to (set by the socket): a session is resumed only on
    // a connection to the same. Empty: nothing is resumed.
    std::string Peer;
    bool Resumed = false;  // the last handshake resumed an earlier session
    bool VerifyCert = false;
    std::string CAFile;  // with VerifyCert: PEM certificates trusted besides the system's store
    TSSLType SSLType = TSSLType::tlsAny;
    std::string Ciphers;
};

// A new plug-in of the class chosen at start-up.
std::unique_ptr<TTLSPlugin> CreateTLSPlugin();
// Tests: make every later socket use the plug-in without TLS (true), or the default again.
void ForceTLSNone(bool Force);

}  // namespace http
