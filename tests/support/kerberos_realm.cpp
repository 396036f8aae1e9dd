#include "tests/support/kerberos_realm.h"

#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <thread>

#include "tests/support/run_command.h"

namespace {
constexpr const char* kKdc = "/usr/sbin/krb5kdc";
}  // namespace

bool KerberosRealm::Installed() {
    return ::access(kKdc, X_OK) == 0 && ::access("/usr/sbin/kadmin.local", X_OK) == 0 &&
           ::access("/usr/bin/kinit", X_OK) == 0;
}

bool KerberosRealm::Run(const std::string& What, const std::string& CommandLine) {
    const CommandResult r = RunCommand(CommandLine + " 2>&1");
    if (r.code != 0) error_ = What + " failed: " + r.output;
    return r.code == 0;
}

KerberosRealm::KerberosRealm() : dir_("zel-krb5") {
    if (!Installed()) {
        error_ = "krb5-kdc, krb5-admin-server or krb5-user is not installed (scripts/install-deps)";
        return;
    }
    std::string dir = dir_.Path();
    dir.pop_back();
    ::chmod(dir.c_str(), 0755);
    const std::string realm = kRealm;
    for (const char* n : {"KRB5_CONFIG", "KRB5_KDC_PROFILE", "KRB5CCNAME", "KRB5_KTNAME", "KRB5RCACHETYPE"}) {
        const char* old = std::getenv(n);
        savedEnv_.push_back({n, old ? std::optional<std::string>(old) : std::nullopt});
    }
    ::setenv("KRB5_CONFIG", (dir + "/krb5.conf").c_str(), 1);
    ::setenv("KRB5_KDC_PROFILE", (dir + "/kdc.conf").c_str(), 1);
    ::setenv("KRB5CCNAME", ("FILE:" + dir + "/ccache").c_str(), 1);
    ::setenv("KRB5_KTNAME", ServiceKeytab().c_str(), 1);
    ::setenv("KRB5RCACHETYPE", "none", 1);  // the proxy's helper runs as another user
    // The KDC's database is made once; only the port may need another try.
    dir_.Write("kdc.conf", "[realms]\n " + realm + " = {\n  database_name = " + dir +
                               "/principal\n  key_stash_file = " + dir + "/stash\n  acl_file = " + dir +
                               "/kadm5.acl\n }\n[logging]\n kdc = FILE:" + dir + "/kdc.log\n");
    dir_.Write("krb5.conf", "[libdefaults]\n default_realm = " + realm + "\n");
    const std::string admin = "/usr/sbin/kadmin.local -r " + realm + " -q ";
    if (!Run("kdb5_util create", "/usr/sbin/kdb5_util create -s -P zel-master -r " + realm) ||
        !Run("addprinc alice", admin + "'addprinc -randkey alice'") ||
        !Run("addprinc HTTP", admin + "'addprinc -randkey HTTP/127.0.0.1'") ||
        !Run("ktadd alice", admin + "'ktadd -k " + dir + "/alice.keytab alice'") ||
        !Run("ktadd HTTP", admin + "'ktadd -k " + ServiceKeytab() + " HTTP/127.0.0.1'"))
        return;
    ::chmod(ServiceKeytab().c_str(), 0644);
    for (int attempt = 0; attempt < 5 && !started_; ++attempt) {
        const std::string port = std::to_string(FreeLoopbackPort());
        // The configuration names the KDC by address: no DNS, no reverse lookups.
        dir_.Write("krb5.conf", "[libdefaults]\n default_realm = " + realm +
                                    "\n dns_lookup_kdc = false\n dns_lookup_realm = false\n rdns = false\n"
                                    " dns_canonicalize_hostname = false\n[realms]\n " +
                                    realm + " = {\n  kdc = 127.0.0.1:" + port + "\n }\n");
        dir_.Write("kdc.conf", "[kdcdefaults]\n kdc_ports = " + port + "\n kdc_tcp_ports = " + port + "\n[realms]\n " +
                                   realm + " = {\n  database_name = " + dir + "/principal\n  key_stash_file = " + dir +
                                   "/stash\n  acl_file = " + dir + "/kadm5.acl\n }\n[logging]\n kdc = FILE:" + dir +
                                   "/kdc.log\n");
        if (!kdc_.Start({kKdc, "-n", "-P", dir + "/kdc.pid"}, dir + "/kdc.out")) {
            error_ = "cannot start krb5kdc";
            return;
        }
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
        while (kdc_.Alive() && !WaitForPort(std::stoi(port), 0) && std::chrono::steady_clock::now() < deadline)
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
        started_ = kdc_.Alive() && WaitForPort(std::stoi(port), 0);
        if (!started_) kdc_.Stop();
    }
    if (!started_) {
        error_ = "krb5kdc did not start: " + dir_.Read("kdc.out") + dir_.Read("kdc.log");
        return;
    }
    started_ = Run("kinit", "/usr/bin/kinit -k -t " + dir + "/alice.keytab alice");
}

void KerberosRealm::Forget() { RunCommand("/usr/bin/kdestroy 2>&1"); }

KerberosRealm::~KerberosRealm() {
    kdc_.Stop();
    for (const auto& [n, v] : savedEnv_) v ? (void)::setenv(n.c_str(), v->c_str(), 1) : (void)::unsetenv(n.c_str());
}
