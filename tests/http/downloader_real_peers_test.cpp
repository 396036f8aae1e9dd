// The downloader against real programs: nginx over HTTP and HTTPS, directly, through
// tinyproxy (absolute targets and CONNECT tunnels), and with the proxy found in the
// environment by the system's own proxy lookup.
#include <gtest/gtest.h>

#include <cstdlib>
#include <optional>

#include "http/zel_http_file_downloader.h"
#include "platform/errors.h"
#include "tests/http/sender_fixtures.h"
#include "tests/support/real_peers.h"
#include "tests/support/temp_dir.h"

using namespace http;
using namespace platform;

namespace {

constexpr size_t kFileSize = 3 * 1024 * 1024 + 12345;

std::string RandomishBytes(size_t n) {
    std::string s(n, '\0');
    uint32_t x = 2463534242u;
    for (size_t i = 0; i < n; ++i) {
        x ^= x << 13, x ^= x >> 17, x ^= x << 5;
        s[i] = char(x);
    }
    return s;
}

// Sets or removes environment variables for the life of the object.
class ScopedEnv {
public:
    void Set(const char* name, const char* value) {
        const char* old = std::getenv(name);
        saved_.push_back({name, old ? std::optional<std::string>(old) : std::nullopt});
        if (value)
            ::setenv(name, value, 1);
        else
            ::unsetenv(name);
    }
    ~ScopedEnv() {
        for (auto it = saved_.rbegin(); it != saved_.rend(); ++it) {
            if (it->second)
                ::setenv(it->first.c_str(), it->second->c_str(), 1);
            else
                ::unsetenv(it->first.c_str());
        }
    }

private:
    std::vector<std::pair<std::string, std::optional<std::string>>> saved_;
};

class DownloaderRealPeers : public ::testing::Test {
protected:
    void SetUp() override {
        www.Write("big.bin", content);
        nginx.emplace(www.Path(), true);
        ASSERT_TRUE(nginx->Started()) << nginx->Error();
    }

    // Downloads Url and checks the file and the progress; returns the OnConnect values.
    std::vector<std::string> DownloadAndCheck(const std::string& url) {
        TzelHTTPFileDownloader dl;
        std::vector<std::string> connects;
        dl.OnConnect = [&](TzelHttpSend&, const std::string& v) { connects.push_back(v); };
        int32_t lastSent = -1;
        int events = 0;
        dl.OnDownloadProgress = [&](TzelHTTPFileDownloader&, int32_t total, int32_t sent) {
            ++events;
            EXPECT_EQ(total, int32_t(kFileSize));
            EXPECT_GE(sent, lastSent);
            EXPECT_EQ(sent % 65536, 0);
            lastSent = sent;
        };
        EXPECT_TRUE(dl.DownloadFile(url, out.File("got.bin"), nullptr));
        EXPECT_TRUE(out.Read("got.bin") == content) << "the file differs from the served one";
        EXPECT_GT(events, 0);
        EXPECT_LT(lastSent, int32_t(kFileSize));
        EXPECT_FALSE(dl.Sock->IsOpen());
        return connects;
    }

    const std::string content = RandomishBytes(kFileSize);
    TempDir www, out;
    std::optional<NginxServer> nginx;
};

TEST_F(DownloaderRealPeers, Direct) {
    FakeProxyServices os;
    ScopedOSServices use(os);
    for (const bool https : {false, true}) {
        SCOPED_TRACE(https ? "https" : "http");
        const std::string url = https ? nginx->HttpsUrl("/big.bin") : nginx->Url("/big.bin");
        const int port = https ? nginx->HttpsPort() : nginx->HttpPort();
        EXPECT_EQ(DownloadAndCheck(url), (std::vector<std::string>{"127.0.0.1:" + std::to_string(port)}));
    }
}

TEST_F(DownloaderRealPeers, ThroughTinyproxyFromTheSystemSettings) {
    TinyProxy::TOptions options;
    options.ConnectPorts = {nginx->HttpsPort()};
    TinyProxy proxy(options);
    ASSERT_TRUE(proxy.Started()) << proxy.Error();
    const std::string at = "127.0.0.1:" + std::to_string(proxy.Port());
    FakeProxyServices os;
    os.Text.ProxyServer = "http=" + at + " https=" + at;
    ScopedOSServices use(os);
    for (const bool https : {false, true}) {
        SCOPED_TRACE(https ? "https through a CONNECT tunnel" : "http through the proxy");
        const std::string url = https ? nginx->HttpsUrl("/big.bin") : nginx->Url("/big.bin");
        EXPECT_EQ(DownloadAndCheck(url), (std::vector<std::string>{at})) << proxy.Log();
    }
}

TEST_F(DownloaderRealPeers, ProxyFromTheEnvironment) {
    TinyProxy::TOptions options;
    options.ConnectPorts = {nginx->HttpsPort()};
    TinyProxy proxy(options);
    ASSERT_TRUE(proxy.Started()) << proxy.Error();
    const std::string at = "127.0.0.1:" + std::to_string(proxy.Port());
    ScopedEnv env;
    for (const char* name : {"all_proxy", "ALL_PROXY", "no_proxy", "NO_PROXY", "HTTP_PROXY", "HTTPS_PROXY"})
        env.Set(name, nullptr);
    env.Set("http_proxy", ("http://" + at + "/").c_str());
    env.Set("https_proxy", ("http://" + at).c_str());
    SetOSServices(nullptr);  // the system's own lookup

    const TProxySetting http = ReadProxySettings("http");
    EXPECT_EQ(http.Host, "127.0.0.1");
    EXPECT_EQ(http.Port, std::to_string(proxy.Port()));
    for (const bool https : {false, true}) {
        SCOPED_TRACE(https ? "https_proxy" : "http_proxy");
        const std::string url = https ? nginx->HttpsUrl("/big.bin") : nginx->Url("/big.bin");
        EXPECT_EQ(DownloadAndCheck(url), (std::vector<std::string>{at})) << proxy.Log();
    }
}

// The engine's Stop: close the socket from inside the progress handler. Over TLS the close
// shuts the session down while the receive that reported the block is still on the stack.
TEST_F(DownloaderRealPeers, StopFromInsideTheHandler) {
    FakeProxyServices os;
    ScopedOSServices use(os);
    for (const bool https : {false, true}) {
        SCOPED_TRACE(https ? "https" : "http");
        TzelHTTPFileDownloader dl;
        int calls = 0, late = 0;
        dl.OnDownloadProgress = [&](TzelHTTPFileDownloader& s, int32_t, int32_t) {
            if (s.CancelDownload) return void(++late);
            if (++calls == 5) {
                s.CancelDownload = true;
                s.Sock->CloseSocket();
            }
        };
        const std::string url = https ? nginx->HttpsUrl("/big.bin") : nginx->Url("/big.bin");
        EXPECT_THROW(dl.DownloadFile(url, out.File("stopped.bin"), nullptr), ESocketError);
        EXPECT_EQ(calls, 5);
        EXPECT_EQ(late, 0);
        EXPECT_FALSE(out.Exists("stopped.bin"));
        EXPECT_FALSE(dl.Sock->IsOpen());
        // The downloader serves the next download as usual.
        dl.OnDownloadProgress = nullptr;
        dl.CancelDownload = false;
        EXPECT_TRUE(dl.DownloadFile(url, out.File("again.bin"), nullptr));
        EXPECT_TRUE(out.Read("again.bin") == content);
    }
}

TEST_F(DownloaderRealPeers, MissingFileIsRefusedWithTheHeaderText) {
    FakeProxyServices os;
    ScopedOSServices use(os);
    TzelHTTPFileDownloader dl;
    const std::string url = nginx->HttpsUrl("/missing.bin");
    try {
        dl.DownloadFile(url, out.File("m"), nullptr);
        FAIL() << "no exception";
    } catch (const EUpdaterError& e) {
        const std::string m = e.what();
        EXPECT_EQ(m.rfind("Unable to get file at location: \"" + url + "\"\rHTTP/1.1 404 Not Found\\x0D\\x0A", 0), 0u) << m;
        EXPECT_EQ(m.substr(m.size() - 16), "\\x0D\\x0A\\x0D\\x0A");
    }
    EXPECT_FALSE(out.Exists("m"));
}

}  // namespace
