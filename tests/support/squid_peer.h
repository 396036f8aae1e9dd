#pragma once
// squid as the office proxy: on a free loopback port, with its configuration, password file
// and logs in a temporary folder, stopped by its pid. It asks for no authentication, for
// Basic (basic_ncsa_auth against a password file made here) or for NTLM (ntlm_fake_auth, which
// runs the real three-message handshake and takes any user it is given) or for Negotiate
// (negotiate_kerberos_auth, with the keytab KRB5_KTNAME names: see kerberos_realm.h).
#include <string>

#include "tests/support/real_peers.h"
#include "tests/support/temp_dir.h"

class SquidProxy {
public:
    enum class TAuth { None, Basic, Ntlm, Negotiate };
    struct TOptions {
        TAuth Auth = TAuth::None;
        std::string User, Password;  // the one account of the Basic password file
    };
    explicit SquidProxy(const TOptions& Options);
    ~SquidProxy();

    // False when squid is not installed: the test skips then (scripts/install-deps installs it).
    static bool Installed();
    bool Started() const { return started_; }
    const std::string& Error() const { return error_; }
    int Port() const { return port_; }
    std::string Url() const { return "http://127.0.0.1:" + std::to_string(port_); }
    std::string AccessLog() const;  // one line per request squid handled
    std::string Log() const;        // its cache.log, for failure messages

private:
    TempDir dir_;
    PeerProcess process_;
    int port_ = 0;
    bool started_ = false;
    std::string error_;
};
