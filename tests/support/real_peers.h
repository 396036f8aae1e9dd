#pragma once
// Real programs as test peers: nginx (HTTP and HTTPS), tinyproxy (HTTP proxy and CONNECT
// tunnels) and openssl s_server, each on free loopback ports with its configuration and logs
// in a temporary folder of its own. A peer is ready when its constructor returns (its ports
// accept connections) and is stopped by its pid in the destructor.
//
// Check Started() first: when a program is missing or will not start, Error() says why and
// the test should fail (or GTEST_SKIP when the program is optional for it).
#include <sys/types.h>
#include <string>
#include <vector>

#include "tests/support/temp_dir.h"

// A port on 127.0.0.1 that was free a moment ago (bind to port 0, read it, close).
int FreeLoopbackPort();
// Polls until 127.0.0.1:Port accepts a connection; false after TimeoutMs.
bool WaitForPort(int Port, int TimeoutMs);

// A self-signed certificate for "localhost" and 127.0.0.1, made with the openssl command.
struct TestCertificate {
    std::string CertFile, KeyFile;
};
// Writes cert.pem and key.pem into Folder (ending in "/"); false (and Error) when the command failed.
bool MakeTestCertificate(const std::string& Folder, TestCertificate& Out, std::string& Error);

// A started child process, stopped (SIGTERM, then SIGKILL) and reaped in the destructor.
class PeerProcess {
public:
    PeerProcess() = default;
    ~PeerProcess() { Stop(); }
    PeerProcess(const PeerProcess&) = delete;
    PeerProcess& operator=(const PeerProcess&) = delete;
    // Runs Argv[0] with Argv; its output goes to LogFile. False when it could not be started.
    bool Start(const std::vector<std::string>& Argv, const std::string& LogFile);
    bool Alive();
    void Stop();
    pid_t Pid() const { return pid_; }

private:
    pid_t pid_ = -1;
};

class NginxServer {
public:
    // Serves the files of Root; over HTTPS as well when Https is set, with Cert when given
    // (else a fresh self-signed one).
    explicit NginxServer(const std::string& Root, bool Https = false, const TestCertificate* Cert = nullptr);
    ~NginxServer();

    bool Started() const { return started_; }
    const std::string& Error() const { return error_; }
    int HttpPort() const { return httpPort_; }
    int HttpsPort() const { return httpsPort_; }          // 0 without Https
    std::string Url(const std::string& Path) const;       // "http://127.0.0.1:port" + Path
    std::string HttpsUrl(const std::string& Path) const;  // "https://127.0.0.1:port" + Path
    const TestCertificate& Certificate() const { return cert_; }
    std::string ErrorLog() const;  // nginx's error log, for failure messages

private:
    TempDir dir_;
    PeerProcess process_;
    TestCertificate cert_;
    int httpPort_ = 0, httpsPort_ = 0;
    bool started_ = false;
    std::string error_;
};

class TinyProxy {
public:
    struct TOptions {
        // Ports CONNECT may reach besides 443. Ignored when DenyConnect is set.
        std::vector<int> ConnectPorts;
        // Non-empty: clients must send Basic credentials, else 407.
        std::string User, Password;
        // Every CONNECT is answered with 403.
        bool DenyConnect = false;
    };
    TinyProxy() : TinyProxy(TOptions{}) {}
    explicit TinyProxy(const TOptions& Options);

    bool Started() const { return started_; }
    const std::string& Error() const { return error_; }
    int Port() const { return port_; }
    std::string Log() const;  // tinyproxy's log, for failure messages

private:
    TempDir dir_;
    PeerProcess process_;
    int port_ = 0;
    bool started_ = false;
    std::string error_;
};

// openssl s_server with a fresh test certificate. ExtraArgs are appended, e.g. {"-www"} to
// answer "GET /" with a status page, or {"-tls1_2"} to limit the version. Port 0 takes a free
// one; another is taken as it is (a server started again where an earlier one listened).
class OpensslServer {
public:
    explicit OpensslServer(const std::vector<std::string>& ExtraArgs = {"-www"}, const TestCertificate* Cert = nullptr,
                           int Port = 0);

    bool Started() const { return started_; }
    const std::string& Error() const { return error_; }
    int Port() const { return port_; }
    std::string Log() const;

private:
    TempDir dir_;
    PeerProcess process_;
    TestCertificate cert_;
    int port_ = 0;
    bool started_ = false;
    std::string error_;
};
