#include "tests/support/squid_peer.h"

#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <sstream>
#include <thread>
#include <vector>

#include "tests/support/run_command.h"

namespace {
constexpr const char* kSquid = "/usr/sbin/squid";
constexpr const char* kHelpers = "/usr/lib/squid/";

std::string Quoted(const std::string& s) {
    std::string out = "'";
    for (char c : s) out += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return out + "'";
}

std::string Folder(const TempDir& dir) {
    std::string p = dir.Path();
    p.pop_back();
    return p;
}
}  // namespace

bool SquidProxy::Installed() { return ::access(kSquid, X_OK) == 0; }

SquidProxy::SquidProxy(const TOptions& Options) : dir_("zel-squid") {
    if (!Installed()) {
        error_ = std::string(kSquid) + " is not installed (scripts/install-deps)";
        return;
    }
    const std::string dir = Folder(dir_);
    ::chmod(dir.c_str(), 0755);
    std::string auth;
    if (Options.Auth == TAuth::Basic) {
        if (RunCommand("/usr/bin/htpasswd -bc " + Quoted(dir + "/passwd") + " " + Quoted(Options.User) + " " +
                       Quoted(Options.Password) + " 2>&1")
                .code != 0) {
            error_ = "htpasswd failed (apache2-utils, scripts/install-deps)";
            return;
        }
        auth = std::string("auth_param basic program ") + kHelpers + "basic_ncsa_auth " + dir +
               "/passwd\nauth_param basic realm zeltest\nauth_param basic children 1 startup=1 idle=1\n";
    } else if (Options.Auth == TAuth::Ntlm) {
        auth = std::string("auth_param ntlm program ") + kHelpers +
               "ntlm_fake_auth\nauth_param ntlm children 1 startup=1 idle=1\n";
    } else if (Options.Auth == TAuth::Negotiate) {
        auth = std::string("auth_param negotiate program ") + kHelpers +
               "negotiate_kerberos_auth -s GSS_C_NO_NAME\nauth_param negotiate children 1 startup=1 idle=1\n";
    }
    // Run as root, squid becomes the proxy user, which must own its folder.
    if (::geteuid() == 0) RunCommand("/bin/chown -R proxy:proxy " + Quoted(dir));
    for (int attempt = 0; attempt < 5 && !started_; ++attempt) {
        port_ = FreeLoopbackPort();
        std::ostringstream conf;
        conf << "http_port 127.0.0.1:" << port_ << "\npid_filename " << dir << "/squid.pid\ncache_log " << dir
             << "/cache.log\naccess_log " << dir << "/access.log\ncoredump_dir " << dir
             << "\ncache deny all\ncache_mem 4 MB\nicp_port 0\nhtcp_port 0\npinger_enable off\n"
             << "shutdown_lifetime 0 seconds\nvia off\nforwarded_for delete\ndns_nameservers 127.0.0.1\n"
             << "cache_effective_user proxy\n"
             << auth;
        if (Options.Auth == TAuth::None) {
            conf << "http_access allow all\n";
        } else {
            conf << "acl authed proxy_auth REQUIRED\nhttp_access allow authed\nhttp_access deny all\n";
        }
        dir_.Write("squid.conf", conf.str());
        if (!process_.Start({kSquid, "-N", "-f", dir + "/squid.conf"}, dir + "/squid.out")) {
            error_ = "cannot start squid";
            return;
        }
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(15);
        while (process_.Alive() && !WaitForPort(port_, 0) && std::chrono::steady_clock::now() < deadline)
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
        started_ = process_.Alive() && WaitForPort(port_, 0);
        if (!started_) process_.Stop();
    }
    if (!started_) error_ = "squid did not start: " + dir_.Read("squid.out") + Log();
}

SquidProxy::~SquidProxy() { process_.Stop(); }

std::string SquidProxy::AccessLog() const { return dir_.Read("access.log"); }
std::string SquidProxy::Log() const { return dir_.Read("cache.log"); }
