// The office proxy under Wine: squid on the Linux side (run_with_peers.py --squid) without
// authentication, with Basic and with NTLM (ntlm_fake_auth's three-message handshake), for an
// http file and for https through CONNECT. NTLM is answered both by the own messages and by
// Wine's SSPI for a user given (which runs Samba's ntlm_auth). The logged-on user's single
// sign-on cannot run under Wine; the provider seam stands in for it in proxy_office_test.
#include <gtest/gtest.h>
#include <windows.h>

#include <cstring>
#include <fstream>
#include <functional>
#include <optional>
#include <sstream>
#include <string>
#include <vector>

#include "http/proxy_auth.h"
#include "http/proxy_prompt.h"
#include "http/zel_http_file_downloader.h"
#include "platform/file_utils.h"
#include "platform/strconv.h"
#include "platform/wide_text_win.h"
#include "tests/support/recorded_proxy_prompt.h"
#include "tests/win/win_test_util.h"

using namespace http;
using namespace platform;

namespace {

std::string BigFile() {
    std::string s;
    for (int i = 0; i < 1200; ++i)
        for (int b = 0; b < 256; ++b) s += char(b);
    return s;
}

std::string ReadAll(const std::string& Path) {
    std::ifstream f(Path, std::ios::binary);
    std::stringstream s;
    s << f.rdbuf();
    return s.str();
}

// A provider that answers NTLM with the session a test chooses, and nothing else.
class TChosenNtlm : public TProxyAuthProvider {
public:
    using TMake = std::function<std::unique_ptr<TProxyAuthSession>(const std::string& Proxy)>;
    explicit TChosenNtlm(TMake make) : make_(std::move(make)) { SetProxyAuthProvider(this); }
    ~TChosenNtlm() override { SetProxyAuthProvider(nullptr); }
    std::unique_ptr<TProxyAuthSession> Start(const std::vector<TProxyChallenge>&, const std::string& Proxy,
                                             const TProxyCredentials&) override {
        return make_(Proxy);
    }

private:
    TMake make_;
};

class WinSquid : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_FALSE(Env("ZEL_WIN_SQUID_NTLM_PORT").empty()) << "run through run_with_peers.py --peers --squid";
        file_ = Narrow(dir_.WPath()) + "got.bin";
    }
    std::string Url(bool https) const {
        return https ? "https://localhost:" + Env("ZEL_WIN_GOOD_PORT") + "/big.bin"
                     : "http://127.0.0.1:" + Env("ZEL_WIN_HTTP_PORT") + "/big.bin";
    }
    // Fetches the big file through the proxy on Port; the error (empty when none) and the
    // sender's notes come back. A file is left only when it arrived whole.
    std::string Fetch(bool https, const std::string& Port, const std::string& User, const std::string& Password,
                      std::vector<std::string>& Notes) {
        TzelHTTPFileDownloader dl;
        dl.ProxyHost = "127.0.0.1";
        dl.ProxyPort = Port;
        dl.ProxyUser = User;
        dl.ProxyPass = Password;
        dl.Sock->SSL().CAFile = Env("ZEL_WIN_CA_FILE");
        dl.Sock->SSL().VerifyCert = true;
        dl.OnProxyNote = [&](TzelHttpSend&, const std::string& n) { Notes.push_back(n); };
        std::string error;
        try {
            if (!dl.DownloadFile(Url(https), file_, nullptr)) error = "the download failed";
        } catch (const std::exception& e) {
            error = e.what();
        }
        return error;
    }

    TWinTempDir dir_;
    std::string file_;
};

TEST_F(WinSquid, EachSchemeForHttpAndConnect) {
    const std::string user = Env("ZEL_WIN_SQUID_USER"), password = Env("ZEL_WIN_SQUID_PASSWORD");
    const struct {
        const char* name;
        const char* port;  // the squid's variable
        std::string user, password;
        std::function<std::unique_ptr<TProxyAuthSession>(const std::string&)> ntlm;  // null: the default provider
        std::string accepted;  // the note's end; empty: no handshake
        std::string logged;    // the user squid's access log names
    } cases[] = {
        {"no authentication", "ZEL_WIN_SQUID_PORT", "", "", nullptr, "", ""},
        // Sent with the first request already: no handshake to note.
        {"Basic from the settings", "ZEL_WIN_SQUID_BASIC_PORT", user, password, nullptr, "", "alice"},
        {"NTLM, the own messages", "ZEL_WIN_SQUID_NTLM_PORT", "", "",
         [](const std::string&) { return NewNtlmSession({"CORP\\alice", "any"}, WorkstationName()); },
         " accepted NTLM for CORP\\alice", "CORP"},
        {"NTLM, Wine's SSPI for a user given", "ZEL_WIN_SQUID_NTLM_MENDED_PORT", "", "",
         [](const std::string& Proxy) {
             auto s = PlatformNtlmSession({"CORP\\bob", "any"}, Proxy);
             EXPECT_TRUE(s) << "SSPI cannot start NTLM (Samba's ntlm_auth, package winbind)";
             return s;
         },
         " accepted NTLM for CORP\\bob", "bob"},
        {"NTLM for the settings' user, by the default provider", "ZEL_WIN_SQUID_NTLM_MENDED_PORT", "CORP\\carol", "any",
         nullptr, " accepted NTLM for CORP\\carol", "carol"},
    };
    const std::string big = BigFile();
    for (const auto& c : cases) {
        std::optional<TChosenNtlm> chosen;
        if (c.ntlm) chosen.emplace(c.ntlm);
        const std::string at = "127.0.0.1:" + Env(c.port);
        for (const bool https : {false, true}) {
            SCOPED_TRACE(std::string(c.name) + (https ? ", https through CONNECT" : ", http"));
            std::vector<std::string> notes;
            EXPECT_EQ(Fetch(https, Env(c.port), c.user, c.password, notes), "");
            EXPECT_TRUE(ReadAll(file_) == big) << "the whole file";
            std::string all;
            for (const std::string& n : notes) all += n + "\n";
            EXPECT_NE(all.find("through the proxy " + at), std::string::npos) << all;
            if (!c.accepted.empty()) {
                EXPECT_NE(all.find("The proxy " + at + c.accepted), std::string::npos) << all;
            }
            EXPECT_EQ(all.find("s3cr"), std::string::npos) << all;
            DeleteFileIfExists(file_);
        }
        if (!c.logged.empty()) {
            // ZEL_WIN_SQUID_..._PORT's access log is ZEL_WIN_SQUID_..._LOG.
            std::string logVariable = std::string(c.port, std::strlen(c.port) - 4) + "LOG";
            if (logVariable == "ZEL_WIN_SQUID_NTLM_MENDED_LOG") logVariable = "ZEL_WIN_SQUID_NTLM_LOG";
            const std::string log = ReadAll(Env(logVariable.c_str()));
            EXPECT_NE(log.find(c.logged), std::string::npos) << c.name << "\n" << log;
        }
    }
}

// A wrong password: the clear error naming the proxy, and nothing downloaded.
TEST_F(WinSquid, AWrongPasswordIsTheClearError) {
    const std::string at = "127.0.0.1:" + Env("ZEL_WIN_SQUID_BASIC_PORT");
    for (const bool https : {false, true}) {
        SCOPED_TRACE(https ? "https through CONNECT" : "http");
        std::vector<std::string> notes;
        EXPECT_EQ(Fetch(https, Env("ZEL_WIN_SQUID_BASIC_PORT"), "alice", "wrong", notes),
                  "The proxy " + at +
                      " refused the credentials of alice (Basic). Check the user name and password set for this "
                      "proxy.");
        EXPECT_FALSE(FileExists(file_)) << "nothing downloaded";
    }
}

// The dialog's answer is confirmed once the proxy has judged it, so that "remember" keeps
// only a password the proxy took: accepted after the first file's reply, refused after a
// 407 again; nothing more for the second file, nothing at all after a cancel.
TEST_F(WinSquid, ThePromptsAnswerIsConfirmedAfterTheProxyJudgedIt) {
    const struct {
        const char* name;
        const char* port;
        bool answers;
        TProxyCredentials given;
        const char* scheme;
        const char* confirmed;  // nullptr: no confirmation
    } cases[] = {
        {"Basic, right password", "ZEL_WIN_SQUID_BASIC_PORT", true,
         {Env("ZEL_WIN_SQUID_USER"), Env("ZEL_WIN_SQUID_PASSWORD")}, "Basic", "accepted"},
        {"Basic, wrong password", "ZEL_WIN_SQUID_BASIC_PORT", true, {"alice", "wrong"}, "Basic", "refused"},
        // The logged-on user is tried first and fails under Wine (its ntlm_auth, without
        // winbindd, has no password for the Unix user at the third message): then the user is
        // asked, and Wine's SSPI answers for the user given.
        {"NTLM through SSPI after the single sign-on", "ZEL_WIN_SQUID_NTLM_MENDED_PORT", true, {"CORP\\dave", "any"},
         "NTLM", "accepted"},
        {"cancelled", "ZEL_WIN_SQUID_BASIC_PORT", false, {}, "Basic", nullptr},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const std::string at = "127.0.0.1:" + Env(c.port);
        std::vector<std::string> expected{"asked " + at + " " + c.scheme};
        if (c.confirmed) expected.push_back("confirmed " + at + " " + c.confirmed);
        std::vector<std::string> events;
        const TScopedProxyPrompt prompt = RecordedProxyPrompt(events, c.given, c.answers);
        for (const bool https : {false, true}) {
            SCOPED_TRACE(https ? "https through CONNECT" : "http");
            std::vector<std::string> notes;
            const std::string error = Fetch(https, Env(c.port), "", "", notes);
            EXPECT_EQ(error.empty(), c.confirmed && std::string(c.confirmed) == "accepted") << error;
            EXPECT_EQ(FileExists(file_), error.empty());
            EXPECT_EQ(events, expected);
            DeleteFileIfExists(file_);
        }
    }
}

}  // namespace
