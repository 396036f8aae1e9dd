#pragma once
// A Kerberos realm of its own for a test: Debian's krb5-kdc on a free loopback port, with
// its database, the user "alice" and the proxy's service "HTTP/127.0.0.1" made here, and
// alice's ticket taken into a cache of its own. While the object lives, the process's
// KRB5_CONFIG, KRB5CCNAME and KRB5_KTNAME point at this realm (children such as squid
// inherit them); the realm's KDC is stopped by its pid afterwards.
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "tests/support/real_peers.h"
#include "tests/support/temp_dir.h"

class KerberosRealm {
public:
    static constexpr const char* kRealm = "ZEL.TEST";
    KerberosRealm();
    ~KerberosRealm();

    static bool Installed();  // false: the test skips (scripts/install-deps installs it)
    bool Started() const { return started_; }
    const std::string& Error() const { return error_; }
    // The proxy's keytab, readable by the proxy's own user.
    std::string ServiceKeytab() const { return dir_.File("http.keytab"); }
    // Drops alice's ticket: the user then has none.
    void Forget();

private:
    bool Run(const std::string& What, const std::string& CommandLine);

    TempDir dir_;
    PeerProcess kdc_;
    bool started_ = false;
    std::string error_;
    std::vector<std::pair<std::string, std::optional<std::string>>> savedEnv_;
};
