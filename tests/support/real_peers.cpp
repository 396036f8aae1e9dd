#include "tests/support/real_peers.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <thread>

#include "tests/support/loopback.h"
#include "tests/support/temp_dir.h"

namespace {
constexpr int kStartAttempts = 5;  // a port taken between choosing and binding: try others
constexpr int kReadyMs = 10000;

// The folder without its trailing separator, for paths written into configurations.
std::string Trimmed(std::string path) {
    while (path.size() > 1 && path.back() == '/') path.pop_back();
    return path;
}

void WriteFile(const std::string& path, const std::string& text) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out << text;
}

// Runs a command to its end; true when it exited with 0.
bool RunToEnd(const std::vector<std::string>& argv, const std::string& logFile) {
    PeerProcess p;
    if (!p.Start(argv, logFile)) return false;
    int status = 0;
    const pid_t pid = p.Pid();
    while (::waitpid(pid, &status, 0) < 0 && errno == EINTR) {
    }
    // Reaped here: keep the destructor from signalling a pid that may be reused.
    p.Stop();
    return WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

// A connection to a port of the ephemeral range that nobody listens on yet can meet itself
// (TCP simultaneous open): that is not a peer.
bool ConnectedToItself(int Fd) {
    sockaddr_in self{}, peer{};
    socklen_t selfLen = sizeof self, peerLen = sizeof peer;
    return ::getsockname(Fd, reinterpret_cast<sockaddr*>(&self), &selfLen) == 0 &&
           ::getpeername(Fd, reinterpret_cast<sockaddr*>(&peer), &peerLen) == 0 && self.sin_port == peer.sin_port &&
           self.sin_addr.s_addr == peer.sin_addr.s_addr;
}

// Waits for every port, giving up early when the process has died (a port collision).
bool WaitReady(PeerProcess& process, const std::vector<int>& ports) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(kReadyMs);
    for (int port : ports) {
        for (;;) {
            if (!process.Alive()) return false;
            if (WaitForPort(port, 0)) break;
            if (std::chrono::steady_clock::now() > deadline) return false;
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        }
    }
    return true;
}
}  // namespace

int FreeLoopbackPort() {
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    const int port = BindToLoopback(fd);
    ::close(fd);
    return port;
}

bool WaitForPort(int Port, int TimeoutMs) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(TimeoutMs);
    for (;;) {
        const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        const bool ok = ConnectToLoopback(fd, Port) && !ConnectedToItself(fd);
        ::close(fd);
        if (ok) return true;
        if (std::chrono::steady_clock::now() >= deadline) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
}

bool MakeTestCertificate(const std::string& Folder, TestCertificate& Out, std::string& Error) {
    Out.CertFile = Folder + "cert.pem";
    Out.KeyFile = Folder + "key.pem";
    const std::string log = Folder + "openssl-req.log";
    const bool ok =
        RunToEnd({"/usr/bin/openssl", "req", "-x509", "-newkey", "ec", "-pkeyopt", "ec_paramgen_curve:prime256v1",
                  "-nodes", "-days", "2", "-subj", "/CN=localhost", "-addext",
                  "subjectAltName=DNS:localhost,IP:127.0.0.1", "-keyout", Out.KeyFile, "-out", Out.CertFile},
                 log);
    if (!ok) Error = "openssl req failed: " + ReadWholeFile(log);
    return ok;
}

bool PeerProcess::Start(const std::vector<std::string>& Argv, const std::string& LogFile) {
    Stop();
    std::vector<char*> args;
    for (const auto& a : Argv) args.push_back(const_cast<char*>(a.c_str()));
    args.push_back(nullptr);
    const pid_t pid = ::fork();
    if (pid < 0) return false;
    if (pid == 0) {
        const int log = ::open(LogFile.c_str(), O_WRONLY | O_CREAT | O_APPEND, 0644);
        const int null = ::open("/dev/null", O_RDONLY);
        if (null >= 0) ::dup2(null, 0);
        if (log >= 0) ::dup2(log, 1), ::dup2(log, 2);
        ::execv(args[0], args.data());
        ::_exit(127);
    }
    pid_ = pid;
    return true;
}

bool PeerProcess::Alive() {
    if (pid_ <= 0) return false;
    int status = 0;
    const pid_t r = ::waitpid(pid_, &status, WNOHANG);
    if (r == pid_ || (r < 0 && errno == ECHILD)) {
        pid_ = -1;
        return false;
    }
    return true;
}

void PeerProcess::Stop() {
    if (pid_ <= 0) return;
    if (Alive()) {
        ::kill(pid_, SIGTERM);
        for (int i = 0; i < 100 && Alive(); ++i) std::this_thread::sleep_for(std::chrono::milliseconds(20));
        if (Alive()) {
            ::kill(pid_, SIGKILL);
            int status = 0;
            ::waitpid(pid_, &status, 0);
        }
    }
    pid_ = -1;
}

NginxServer::NginxServer(const std::string& Root, bool Https, const TestCertificate* Cert) {
    const std::string dir = Trimmed(dir_.Path());
    if (::access("/usr/sbin/nginx", X_OK) != 0) {
        error_ = "/usr/sbin/nginx is not installed (scripts/install-deps)";
        return;
    }
    if (Https && Cert)
        cert_ = *Cert;
    else if (Https && !MakeTestCertificate(dir_.Path(), cert_, error_))
        return;
    const std::string root = std::filesystem::absolute(Root).string();
    for (int attempt = 0; attempt < kStartAttempts && !started_; ++attempt) {
        httpPort_ = FreeLoopbackPort();
        httpsPort_ = Https ? FreeLoopbackPort() : 0;
        std::ostringstream conf;
        conf << "daemon off;\nmaster_process off;\nworker_processes 1;\n"
             << "pid " << dir << "/nginx.pid;\n"
             << "error_log " << dir << "/error.log info;\n"
             << "events { worker_connections 64; }\n"
             << "http {\n"
             << "  access_log " << dir << "/access.log;\n"
             << "  client_body_temp_path " << dir << "/client_body;\n"
             << "  proxy_temp_path " << dir << "/proxy;\n"
             << "  fastcgi_temp_path " << dir << "/fastcgi;\n"
             << "  uwsgi_temp_path " << dir << "/uwsgi;\n"
             << "  scgi_temp_path " << dir << "/scgi;\n"
             << (std::filesystem::exists("/etc/nginx/mime.types") ? "  include /etc/nginx/mime.types;\n" : "")
             << "  default_type application/octet-stream;\n"
             << "  server {\n    listen 127.0.0.1:" << httpPort_ << ";\n    server_name localhost;\n"
             << "    root " << root << ";\n  }\n";
        if (Https)
            conf << "  server {\n    listen 127.0.0.1:" << httpsPort_ << " ssl;\n    server_name localhost;\n"
                 << "    ssl_certificate " << cert_.CertFile << ";\n"
                 << "    ssl_certificate_key " << cert_.KeyFile << ";\n"
                 << "    root " << root << ";\n  }\n";
        conf << "}\n";
        WriteFile(dir + "/nginx.conf", conf.str());
        if (!process_.Start({"/usr/sbin/nginx", "-p", dir, "-e", dir + "/error.log", "-c", dir + "/nginx.conf"},
                            dir + "/nginx.out")) {
            error_ = "cannot start nginx";
            return;
        }
        std::vector<int> ports{httpPort_};
        if (Https) ports.push_back(httpsPort_);
        started_ = WaitReady(process_, ports);
        if (!started_) process_.Stop();
    }
    if (!started_) error_ = "nginx did not start: " + ReadWholeFile(dir + "/nginx.out") + ErrorLog();
}

NginxServer::~NginxServer() { process_.Stop(); }

std::string NginxServer::Url(const std::string& Path) const {
    return "http://127.0.0.1:" + std::to_string(httpPort_) + Path;
}

std::string NginxServer::HttpsUrl(const std::string& Path) const {
    return "https://127.0.0.1:" + std::to_string(httpsPort_) + Path;
}

std::string NginxServer::ErrorLog() const { return ReadWholeFile(dir_.Path() + "error.log"); }

TinyProxy::TinyProxy(const TOptions& Options) {
    const std::string dir = Trimmed(dir_.Path());
    if (::access("/usr/bin/tinyproxy", X_OK) != 0) {
        error_ = "/usr/bin/tinyproxy is not installed (scripts/install-deps)";
        return;
    }
    for (int attempt = 0; attempt < kStartAttempts && !started_; ++attempt) {
        port_ = FreeLoopbackPort();
        std::ostringstream conf;
        conf << "Port " << port_ << "\nListen 127.0.0.1\nTimeout 30\nMaxClients 20\n"
             << "LogFile \"" << dir << "/tinyproxy.log\"\nLogLevel Info\n"
             << "DisableViaHeader Yes\n";
        if (::geteuid() == 0) conf << "User root\nGroup root\n";
        if (Options.DenyConnect) {
            conf << "ConnectPort 1\n";  // only a port nobody asks for: every CONNECT gets 403
        } else {
            conf << "ConnectPort 443\n";
            for (int p : Options.ConnectPorts) conf << "ConnectPort " << p << "\n";
        }
        if (!Options.User.empty()) conf << "BasicAuth " << Options.User << " " << Options.Password << "\n";
        WriteFile(dir + "/tinyproxy.conf", conf.str());
        if (!process_.Start({"/usr/bin/tinyproxy", "-d", "-c", dir + "/tinyproxy.conf"}, dir + "/tinyproxy.out")) {
            error_ = "cannot start tinyproxy";
            return;
        }
        started_ = WaitReady(process_, {port_});
        if (!started_) process_.Stop();
    }
    if (!started_) error_ = "tinyproxy did not start: " + ReadWholeFile(dir + "/tinyproxy.out") + Log();
}

std::string TinyProxy::Log() const { return ReadWholeFile(dir_.Path() + "tinyproxy.log"); }

OpensslServer::OpensslServer(const std::vector<std::string>& ExtraArgs, const TestCertificate* Cert, int Port) {
    const std::string dir = Trimmed(dir_.Path());
    if (Cert)
        cert_ = *Cert;
    else if (!MakeTestCertificate(dir_.Path(), cert_, error_))
        return;
    for (int attempt = 0; attempt < kStartAttempts && !started_; ++attempt) {
        port_ = Port > 0 ? Port : FreeLoopbackPort();
        std::vector<std::string> argv{"/usr/bin/openssl",
                                      "s_server",
                                      "-accept",
                                      "127.0.0.1:" + std::to_string(port_),
                                      "-cert",
                                      cert_.CertFile,
                                      "-key",
                                      cert_.KeyFile,
                                      "-quiet"};
        argv.insert(argv.end(), ExtraArgs.begin(), ExtraArgs.end());
        if (!process_.Start(argv, dir + "/s_server.log")) {
            error_ = "cannot start openssl s_server";
            return;
        }
        started_ = WaitReady(process_, {port_});
        if (!started_) process_.Stop();
    }
    if (!started_) error_ = "openssl s_server did not start: " + Log();
}

std::string OpensslServer::Log() const { return ReadWholeFile(dir_.Path() + "s_server.log"); }
