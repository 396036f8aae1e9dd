// The office proxy for real: squid on loopback without authentication, with Basic
// (basic_ncsa_auth) and with NTLM (ntlm_fake_auth's three-message handshake), found in the
// environment as a workstation sets it, for an http file and for https through CONNECT.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <optional>

#include "http/proxy_auth.h"
#include "http/proxy_prompt.h"
#include "http/zel_http_file_downloader.h"
#include "platform/base64.h"
#include "platform/os_services.h"
#include "tests/support/kerberos_realm.h"
#include "tests/support/real_peers.h"
#include "tests/support/recorded_proxy_prompt.h"
#include "tests/support/scripted_server.h"
#include "tests/support/squid_peer.h"
#include "tests/support/temp_dir.h"

using namespace http;
using namespace platform;

namespace {

constexpr const char* kUser = "alice";
constexpr const char* kPassword = "s3cr/et;x";  // a "/" and a ";" that must survive the proxy text
constexpr const char* kPasswordInUrl = "s3cr%2Fet%3Bx";

// The proxy variables for the life of the object; the system's own lookup in force.
class ProxyEnvironment {
public:
    ProxyEnvironment(const std::string& Http, const std::string& Https, const std::string& NoProxy = "") {
        for (const char* n : {"http_proxy", "https_proxy", "all_proxy", "no_proxy", "HTTP_PROXY", "HTTPS_PROXY",
                              "ALL_PROXY", "NO_PROXY"}) {
            const char* old = std::getenv(n);
            saved_.push_back({n, old ? std::optional<std::string>(old) : std::nullopt});
            ::unsetenv(n);
        }
        ::setenv("http_proxy", Http.c_str(), 1);
        ::setenv("https_proxy", Https.c_str(), 1);
        if (!NoProxy.empty()) ::setenv("no_proxy", NoProxy.c_str(), 1);
        SetOSServices(nullptr);
    }
    ~ProxyEnvironment() {
        for (const auto& [n, v] : saved_) v ? (void)::setenv(n.c_str(), v->c_str(), 1) : (void)::unsetenv(n.c_str());
    }

private:
    std::vector<std::pair<std::string, std::optional<std::string>>> saved_;
};

class SquidPeers : public ::testing::Test {
protected:
    void SetUp() override {
        if (!SquidProxy::Installed()) GTEST_SKIP() << "squid is not installed (scripts/install-deps)";
        www.Write("file.bin", content);
        nginx.emplace(www.Path(), true);
        ASSERT_TRUE(nginx->Started()) << nginx->Error();
    }
    std::string Url(bool https) const { return https ? nginx->HttpsUrl("/file.bin") : nginx->Url("/file.bin"); }

    // Fetches the file through the proxy the environment names, as the updater does: it must
    // arrive whole; the sender's notes on its route come back.
    std::vector<std::string> FetchWhole(bool https, const SquidProxy& squid) {
        TzelHTTPFileDownloader dl;
        std::vector<std::string> notes;
        dl.OnProxyNote = [&](TzelHttpSend&, const std::string& n) { notes.push_back(n); };
        try {
            EXPECT_TRUE(dl.DownloadFile(Url(https), out.File("got.bin"), nullptr));
        } catch (const std::exception& e) {
            ADD_FAILURE() << e.what() << "\n" << squid.Log();
        }
        EXPECT_TRUE(out.Read("got.bin") == content);
        return notes;
    }

    const std::string content = std::string(200000, 'z') + "end";
    TempDir www, out;
    std::optional<NginxServer> nginx;
};

TEST_F(SquidPeers, EachSchemeForHttpAndConnect) {
    const struct {
        const char* name;
        SquidProxy::TAuth auth;
        std::string credentials;  // in the proxy URL
    } cases[] = {
        {"no authentication", SquidProxy::TAuth::None, ""},
        {"Basic from the proxy URL", SquidProxy::TAuth::Basic, std::string(kUser) + ":" + kPasswordInUrl + "@"},
        {"NTLM with the proxy URL's user", SquidProxy::TAuth::Ntlm, "CORP%5Calice:any@"},
    };
    for (const auto& c : cases) {
        SquidProxy squid({c.auth, kUser, kPassword});
        ASSERT_TRUE(squid.Started()) << squid.Error();
        const std::string proxy = "http://" + c.credentials + "127.0.0.1:" + std::to_string(squid.Port()) + "/";
        ProxyEnvironment env(proxy, proxy);
        for (const bool https : {false, true}) {
            SCOPED_TRACE(std::string(c.name) + (https ? ", https through CONNECT" : ", http"));
            const std::vector<std::string> notes = FetchWhole(https, squid);
            ASSERT_FALSE(notes.empty());
            EXPECT_NE(notes[0].find("through the proxy 127.0.0.1:" + std::to_string(squid.Port())), std::string::npos)
                << notes[0];
            for (const std::string& n : notes) EXPECT_EQ(n.find("s3cr"), std::string::npos) << n;
        }
        const std::string log = squid.AccessLog();
        // squid logs the user it authenticated with each request.
        if (c.auth != SquidProxy::TAuth::None) {
            EXPECT_NE(log.find(c.auth == SquidProxy::TAuth::Ntlm ? "CORP" : kUser), std::string::npos) << log;
        }
    }
}

// A proxy that cannot be passed: the error names it and its schemes, and no file is left.
TEST_F(SquidPeers, RefusedOrMissingCredentials) {
    SquidProxy squid({SquidProxy::TAuth::Basic, kUser, kPassword});
    ASSERT_TRUE(squid.Started()) << squid.Error();
    const std::string at = "127.0.0.1:" + std::to_string(squid.Port());
    const struct {
        const char* name;
        std::string credentials;
        std::string error;
    } cases[] = {
        {"wrong password", "alice:wrong@",
         "The proxy " + at +
             " refused the credentials of alice (Basic). Check the user name and password set for "
             "this proxy."},
        {"no credentials", "",
         "The proxy " + at + " requires authentication (it offers Basic) and no credentials for it are set."},
    };
    for (const auto& c : cases) {
        ProxyEnvironment env("http://" + c.credentials + at, "http://" + c.credentials + at);
        for (const bool https : {false, true}) {
            SCOPED_TRACE(std::string(c.name) + (https ? ", CONNECT" : ", http"));
            TzelHTTPFileDownloader dl;
            std::string error = "no error";
            try {
                dl.DownloadFile(Url(https), out.File("got.bin"), nullptr);
            } catch (const EProxyAuthError& e) {
                error = e.what();
            }
            EXPECT_EQ(error, c.error);
            EXPECT_FALSE(out.Exists("got.bin")) << "nothing downloaded";
        }
    }
}

// A visual run asks the user once per proxy when nothing keeps its credentials; the answer
// serves every later file, a cancel or a wrong password ends in the clear error. The answer
// is confirmed once, after the proxy judged it: taken, or refused with a 407 again.
TEST_F(SquidPeers, PromptAskedOnceWhenNothingIsKept) {
    const struct {
        const char* name;
        SquidProxy::TAuth auth;
        bool answers;
        std::string user, password;
        const char* scheme;     // what the prompt is asked for
        const char* confirmed;  // what the confirmation says; nullptr: none comes
        std::string error;      // after the proxy address; empty: both files arrive
    } cases[] = {
        {"Basic answered", SquidProxy::TAuth::Basic, true, kUser, kPassword, "Basic", "accepted", ""},
        {"NTLM answered", SquidProxy::TAuth::Ntlm, true, "CORP\\alice", "any", "NTLM", "accepted", ""},
        {"cancelled", SquidProxy::TAuth::Basic, false, "", "", "Basic", nullptr,
         " requires authentication (it offers Basic) and no credentials for it are set."},
        {"wrong password", SquidProxy::TAuth::Basic, true, kUser, "wrong", "Basic", "refused",
         " refused the credentials of alice (Basic). Check the user name and password set for this proxy."},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        SquidProxy squid({c.auth, kUser, kPassword});
        ASSERT_TRUE(squid.Started()) << squid.Error();
        const std::string at = "127.0.0.1:" + std::to_string(squid.Port());
        ProxyEnvironment env("http://" + at, "http://" + at);
        std::vector<std::string> expected{"asked " + at + " " + c.scheme};
        if (c.confirmed) expected.push_back("confirmed " + at + " " + c.confirmed);
        std::vector<std::string> events;
        const TScopedProxyPrompt prompt = RecordedProxyPrompt(events, {c.user, c.password}, c.answers);
        for (const bool https : {false, true}) {
            SCOPED_TRACE(https ? "https through CONNECT" : "http");
            TzelHTTPFileDownloader dl;
            std::string error;
            try {
                EXPECT_TRUE(dl.DownloadFile(Url(https), out.File("got.bin"), nullptr));
            } catch (const EProxyAuthError& e) {
                error = e.what();
            }
            if (c.error.empty()) {
                EXPECT_EQ(error, "") << squid.Log();
                EXPECT_TRUE(out.Read("got.bin") == content);
            } else {
                EXPECT_EQ(error, "The proxy " + at + c.error);
                EXPECT_FALSE(out.Exists("got.bin")) << "nothing downloaded";
            }
            std::remove(out.File("got.bin").c_str());
            // Judged with the first file already; the second adds nothing.
            EXPECT_EQ(events, expected);
        }
    }
}

// The logged-on user's single sign-on refused (a stand-in sending a password squid does not
// take): the handshake starts once more with what the user gives; a cancel leaves the refusal.
TEST_F(SquidPeers, ARefusedSingleSignOnFallsBackToThePrompt) {
    struct TRefusedSignOn : TProxyAuthSession {
        std::string Scheme() const override { return "Basic"; }
        bool ConnectionOriented() const override { return false; }
        bool Respond(const std::string&, std::string& Authorization) override {
            if (sent) return false;
            sent = true;
            Authorization = "Basic " + EncodeBase64("logged-on:nothing squid knows");
            return true;
        }
        std::string Who() const override { return "the logged-on user"; }
        bool SingleSignOn() const override { return true; }
        bool sent = false;
    };
    struct TSignOnFirst : TProxyAuthProvider {
        std::unique_ptr<TProxyAuthSession> Start(const std::vector<TProxyChallenge>&, const std::string&,
                                                 const TProxyCredentials&) override {
            return std::make_unique<TRefusedSignOn>();
        }
    } provider;
    SquidProxy squid({SquidProxy::TAuth::Basic, kUser, kPassword});
    ASSERT_TRUE(squid.Started()) << squid.Error();
    const std::string at = "127.0.0.1:" + std::to_string(squid.Port());
    ProxyEnvironment env("http://" + at, "http://" + at);
    SetProxyAuthProvider(&provider);
    for (const bool answers : {true, false}) {
        SCOPED_TRACE(answers ? "the user answers" : "the user cancels");
        std::vector<std::string> events;
        const TScopedProxyPrompt prompt(
            [&](const std::string&, const std::string& Scheme, TProxyCredentials& Out) {
                events.push_back("asked " + Scheme);
                Out = {kUser, kPassword};
                return answers;
            },
            [&](const std::string&, bool Accepted) { events.push_back(Accepted ? "accepted" : "refused"); });
        for (const bool https : {false, true}) {
            SCOPED_TRACE(https ? "https through CONNECT" : "http");
            TzelHTTPFileDownloader dl;
            std::vector<std::string> notes;
            dl.OnProxyNote = [&](TzelHttpSend&, const std::string& n) { notes.push_back(n); };
            std::string error;
            try {
                EXPECT_TRUE(dl.DownloadFile(Url(https), out.File("got.bin"), nullptr));
            } catch (const EProxyAuthError& e) {
                error = e.what();
            }
            if (answers) {
                EXPECT_EQ(error, "");
                EXPECT_TRUE(out.Read("got.bin") == content);
                ASSERT_FALSE(notes.empty());
                EXPECT_EQ(notes.back(), "The proxy " + at + " accepted Basic for alice");
                EXPECT_EQ(events, (std::vector<std::string>{"asked Basic", "accepted"}));
            } else {
                EXPECT_EQ(error, "The proxy " + at +
                                     " refused the credentials of the logged-on user (Basic). Check the user name "
                                     "and password set for this proxy.");
                EXPECT_FALSE(out.Exists("got.bin"));
                EXPECT_EQ(events, std::vector<std::string>{"asked Basic"});
            }
            std::remove(out.File("got.bin").c_str());
        }
    }
    SetProxyAuthProvider(nullptr);
}

// Unattended, nothing asks: the proxy stays closed even with a prompt once installed.
TEST_F(SquidPeers, NoPromptOnceRemoved) {
    SquidProxy squid({SquidProxy::TAuth::Basic, kUser, kPassword});
    ASSERT_TRUE(squid.Started()) << squid.Error();
    const std::string at = "127.0.0.1:" + std::to_string(squid.Port());
    ProxyEnvironment env("http://" + at, "http://" + at);
    int asked = 0;
    {
        const TScopedProxyPrompt visual([&](const std::string&, const std::string&, TProxyCredentials& Out) {
            Out = {kUser, kPassword};
            return ++asked > 0;
        });
    }
    TzelHTTPFileDownloader dl;
    EXPECT_THROW(dl.DownloadFile(Url(false), out.File("got.bin"), nullptr), EProxyAuthError);
    EXPECT_EQ(asked, 0);
}

// Negotiate with the user's Kerberos ticket from a realm of the test's own; without a
// ticket the proxy stays closed with the clear error.
TEST_F(SquidPeers, NegotiateWithTheUsersTicket) {
    if (!KerberosRealm::Installed()) GTEST_SKIP() << "krb5-kdc is not installed (scripts/install-deps)";
    KerberosRealm realm;
    ASSERT_TRUE(realm.Started()) << realm.Error();
    SquidProxy squid({SquidProxy::TAuth::Negotiate, "", ""});
    ASSERT_TRUE(squid.Started()) << squid.Error();
    const std::string at = "127.0.0.1:" + std::to_string(squid.Port());
    ProxyEnvironment env("http://" + at, "http://" + at);
    for (const bool https : {false, true}) {
        SCOPED_TRACE(https ? "https through CONNECT" : "http");
        const std::vector<std::string> notes = FetchWhole(https, squid);
        std::string all;
        for (const std::string& n : notes) all += n + "\n";
        EXPECT_NE(all.find("The proxy " + at + " accepted Negotiate for alice@ZEL.TEST"), std::string::npos) << all;
        std::remove(out.File("got.bin").c_str());
    }
    EXPECT_NE(squid.AccessLog().find("alice@ZEL.TEST"), std::string::npos) << squid.AccessLog();

    realm.Forget();
    TzelHTTPFileDownloader dl;
    std::string error = "no error";
    try {
        dl.DownloadFile(Url(false), out.File("got.bin"), nullptr);
    } catch (const EProxyAuthError& e) {
        error = e.what();
    }
    EXPECT_EQ(error,
              "The proxy " + at + " requires authentication (it offers Negotiate) and no credentials for it are set.");
    EXPECT_FALSE(out.Exists("got.bin"));
}

// The proxy's credentials go to the proxy: the origin behind it sees none.
TEST_F(SquidPeers, CredentialsReachOnlyTheProxy) {
    SquidProxy squid({SquidProxy::TAuth::Basic, kUser, kPassword});
    ASSERT_TRUE(squid.Started()) << squid.Error();
    ScriptedServer origin;
    origin.Accept().ExpectRequest().Send("HTTP/1.0 200 OK\r\nContent-Length: 2\r\n\r\nok").Close().Start();
    const std::string proxy =
        std::string("http://") + kUser + ":" + kPasswordInUrl + "@127.0.0.1:" + std::to_string(squid.Port());
    ProxyEnvironment env(proxy, proxy);
    TzelHttpSend http;
    TStringList reply;
    ASSERT_TRUE(http.GetText(origin.Url("/x"), reply)) << squid.Log();
    EXPECT_EQ(reply.Text(), "ok\r\n");
    const std::string seen = origin.Request(0);
    EXPECT_EQ(seen.find("uthorization"), std::string::npos) << seen;
    EXPECT_EQ(seen.find("s3cr"), std::string::npos) << seen;
}

// no_proxy: the listed origin is reached directly, past a proxy that would refuse us.
TEST_F(SquidPeers, NoProxyGoesAroundIt) {
    SquidProxy squid({SquidProxy::TAuth::Basic, kUser, kPassword});
    ASSERT_TRUE(squid.Started()) << squid.Error();
    const std::string at = "http://127.0.0.1:" + std::to_string(squid.Port());
    ProxyEnvironment env(at, at, "localhost,127.0.0.1");
    TzelHTTPFileDownloader dl;
    EXPECT_TRUE(dl.DownloadFile(Url(false), out.File("got.bin"), nullptr));
    EXPECT_TRUE(out.Read("got.bin") == content);
    EXPECT_EQ(squid.AccessLog().find("file.bin"), std::string::npos) << squid.AccessLog();
}

}  // namespace
