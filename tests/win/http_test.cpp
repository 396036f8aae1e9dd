// The socket and TLS on Windows: Winsock's own error numbers, Schannel against nginx
// directly and through a tinyproxy CONNECT tunnel, certificate checking with the texts of the
// OpenSSL plug-in, a bounded handshake, and the proxy from Windows' Internet settings. The
// peers run on the Linux side (run_with_peers.py) and are named by ZEL_WIN_* variables.
// Windows headers depend on their order.
// clang-format off
#include <winsock2.h>
#include <ws2tcpip.h>
#include <gtest/gtest.h>
#include <windows.h>
// clang-format on

#include <chrono>
#include <fstream>
#include <vector>
#include <string>
#include <thread>

#include "http/stream.h"
#include "http/tcp_socket.h"
#include "http/zel_http_file_downloader.h"
#include "http/zel_http_send.h"
#include "platform/file_utils.h"
#include "platform/wide_text_win.h"
#include "tests/win/win_test_util.h"

using namespace http;
using namespace platform;

namespace {
// A listening socket on a free loopback port that accepts nothing and says nothing.
class TSilentListener {
public:
    TSilentListener() {
        s_ = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
        sockaddr_in a{};
        a.sin_family = AF_INET;
        a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        bind(s_, reinterpret_cast<sockaddr*>(&a), sizeof a);
        listen(s_, 4);
        int len = sizeof a;
        getsockname(s_, reinterpret_cast<sockaddr*>(&a), &len);
        port_ = ntohs(a.sin_port);
    }
    ~TSilentListener() { closesocket(s_); }
    std::string Port() const { return std::to_string(port_); }
    SOCKET Socket() const { return s_; }
    // Accepts one connection and closes it at once.
    void AcceptAndClose() {
        const SOCKET c = accept(s_, nullptr, nullptr);
        if (c != INVALID_SOCKET) closesocket(c);
    }

private:
    SOCKET s_ = INVALID_SOCKET;
    int port_ = 0;
};

// The port of a free loopback port that nobody listens on any more.
std::string ClosedPort() {
    TSilentListener l;
    return l.Port();
}

int64_t MsSince(std::chrono::steady_clock::time_point t) {
    return std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - t).count();
}

TEST(WinSocket, ReportsWinsocksOwnErrorNumbers) {
    {
        SCOPED_TRACE("refused");
        TTCPClientSocket s;
        s.Connect("127.0.0.1", ClosedPort());
        EXPECT_EQ(s.LastError, 10061);
        EXPECT_EQ(s.LastErrorDesc, "Connection refused");
    }
    {
        SCOPED_TRACE("unknown host");
        TTCPClientSocket s;
        s.Connect("no-such-host.invalid", "80");
        EXPECT_EQ(s.LastError, 11001);
        EXPECT_EQ(s.LastErrorDesc, "Host not found");
    }
    TSilentListener listener;
    {
        SCOPED_TRACE("nothing arrives");
        TTCPClientSocket s;
        s.Connect("127.0.0.1", listener.Port());
        ASSERT_EQ(s.LastError, 0) << s.LastErrorDesc;
        const auto start = std::chrono::steady_clock::now();
        EXPECT_EQ(s.RecvPacket(300), "");
        EXPECT_EQ(s.LastError, 10060);
        EXPECT_LT(MsSince(start), 3000);
    }
    {
        SCOPED_TRACE("the peer closes");
        TSilentListener closing;  // its first connection in the queue is this one
        TTCPClientSocket s;
        s.Connect("127.0.0.1", closing.Port());
        ASSERT_EQ(s.LastError, 0);
        closing.AcceptAndClose();
        EXPECT_EQ(s.RecvPacket(3000), "");
        EXPECT_EQ(s.LastError, 10054);
    }
    {
        SCOPED_TRACE("stopped");
        TTCPClientSocket s;
        s.Connect("127.0.0.1", listener.Port());
        s.StopFlag = true;
        EXPECT_EQ(s.RecvPacket(3000), "");
        EXPECT_EQ(s.LastError, 10053);
    }
}

TEST(WinSocket, RaisesTheSocketErrorWithItsMessage) {
    TTCPClientSocket s;
    s.RaiseExcept = true;
    try {
        s.Connect("127.0.0.1", ClosedPort());
        FAIL() << "connected";
    } catch (const ESocketError& e) {
        EXPECT_EQ(e.ErrorCode, 10061);
        EXPECT_STREQ(e.what(), "TCP/IP Socket error 10061: Connection refused");
    }
}

class WinTls : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_FALSE(Env("ZEL_WIN_GOOD_PORT").empty()) << "run through run_with_peers.py --peers"; }
    // GET Path over TLS on the open socket; the whole reply up to the server's close.
    static std::string Get(TTCPClientSocket& s, const std::string& Path) {
        s.SendString("GET " + Path + " HTTP/1.0\r\nHost: localhost\r\n\r\n");
        std::string reply;
        while (s.LastError == 0) reply += s.RecvPacket(5000);
        return reply;
    }
    static std::string Body(const std::string& Reply) {
        const size_t p = Reply.find("\r\n\r\n");
        return p == std::string::npos ? std::string() : Reply.substr(p + 4);
    }
};

TEST_F(WinTls, FetchesFromNginxDirectlyAndThroughATunnel) {
    std::string expectedBig;
    for (int i = 0; i < 1200; ++i)
        for (int b = 0; b < 256; ++b) expectedBig += char(b);
    for (bool tunnel : {false, true}) {
        SCOPED_TRACE(tunnel ? "through tinyproxy" : "direct");
        TTCPClientSocket s;
        if (tunnel) {
            s.HTTPTunnelIP = "127.0.0.1";
            s.HTTPTunnelPort = Env("ZEL_WIN_PROXY_PORT");
        }
        s.SSL().SNIHost = "localhost";
        s.SSL().VerifyCert = true;
        s.SSL().CAFile = Env("ZEL_WIN_CA_FILE");
        s.Connect("127.0.0.1", Env("ZEL_WIN_GOOD_PORT"));
        ASSERT_EQ(s.LastError, 0) << s.LastErrorDesc;
        EXPECT_EQ(s.HTTPTunnel, tunnel);
        ASSERT_TRUE(s.StartTLS()) << s.LastErrorDesc;
        const std::string reply = Get(s, "/hello.txt");
        EXPECT_EQ(reply.rfind("HTTP/1.1 200 OK\r\n", 0), 0u) << reply;
        EXPECT_EQ(Body(reply), "hello over TLS\n");
        EXPECT_EQ(s.LastError, 10054) << "the server's close ends the stream, not a TLS failure";
        s.CloseSocket();

        // Many records, some arriving together: every byte in order.
        s.Connect("127.0.0.1", Env("ZEL_WIN_GOOD_PORT"));
        ASSERT_TRUE(s.StartTLS()) << s.LastErrorDesc;
        EXPECT_TRUE(Body(Get(s, "/big.bin")) == expectedBig);
        s.CloseSocket();
        EXPECT_FALSE(s.SSL().SSLEnabled);
    }
}

TEST_F(WinTls, ChecksCertificatesWithTheSameTexts) {
    const std::string ca = Env("ZEL_WIN_CA_FILE");
    struct Case {
        const char* name;
        const char* portVar;
        std::string host;
        bool verify;
        std::string caFile;
        std::string failure;  // empty: the handshake succeeds
    } cases[] = {
        {"trusted by the CA file", "ZEL_WIN_GOOD_PORT", "127.0.0.1", true, ca, ""},
        {"trusted, by name", "ZEL_WIN_GOOD_PORT", "localhost", true, ca, ""},
        {"not checked", "ZEL_WIN_SELFSIGNED_PORT", "127.0.0.1", false, "", ""},
        {"unknown CA", "ZEL_WIN_GOOD_PORT", "127.0.0.1", true, "",
         "The certificate of 127.0.0.1 is not issued by a trusted certificate authority"},
        {"self-signed", "ZEL_WIN_SELFSIGNED_PORT", "127.0.0.1", true, ca,
         "The certificate of 127.0.0.1 is self-signed and not trusted"},
        {"other host, by address", "ZEL_WIN_OTHERHOST_PORT", "127.0.0.1", true, ca,
         "The certificate of 127.0.0.1 is issued for another IP address"},
        {"other host, by name", "ZEL_WIN_OTHERHOST_PORT", "localhost", true, ca,
         "The certificate of localhost is issued for another host name"},
        {"expired", "ZEL_WIN_EXPIRED_PORT", "127.0.0.1", true, ca, "The certificate of 127.0.0.1 has expired"},
        {"CA file missing", "ZEL_WIN_GOOD_PORT", "127.0.0.1", true, "C:\\no\\ca.pem",
         "The certificate authority file C:\\no\\ca.pem cannot be loaded"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        TTCPClientSocket s;
        s.SSL().SNIHost = c.host;
        s.SSL().VerifyCert = c.verify;
        s.SSL().CAFile = c.caFile;
        s.Connect("127.0.0.1", Env(c.portVar));
        ASSERT_EQ(s.LastError, 0) << s.LastErrorDesc;
        const bool ok = s.StartTLS();
        EXPECT_EQ(ok, c.failure.empty()) << s.LastErrorDesc;
        if (!c.failure.empty()) {
            EXPECT_EQ(s.LastError, 10091);
            EXPECT_EQ(s.LastErrorDesc, c.failure);
        } else if (ok) {
            EXPECT_EQ(Body(Get(s, "/hello.txt")), "hello over TLS\n");
        }
    }
}

TEST_F(WinTls, TheHandshakeIsBoundedByTheTimeOutAndTheStopFlag) {
    TSilentListener listener;
    {
        SCOPED_TRACE("time-out");
        TTCPClientSocket s;
        s.ConnectionTimeout = 400;
        s.Connect("127.0.0.1", listener.Port());
        ASSERT_EQ(s.LastError, 0);
        const auto start = std::chrono::steady_clock::now();
        EXPECT_FALSE(s.StartTLS());
        EXPECT_EQ(s.LastError, 10060);
        EXPECT_EQ(s.SSL().LastErrorDesc, "TLS handshake timed out");
        EXPECT_LT(MsSince(start), 4000);
    }
    {
        SCOPED_TRACE("stop");
        TTCPClientSocket s;
        s.Connect("127.0.0.1", listener.Port());
        s.StopFlag = true;
        EXPECT_FALSE(s.StartTLS());
        EXPECT_EQ(s.LastError, 10053);
    }
    {
        SCOPED_TRACE("a server that speaks no TLS");
        TTCPClientSocket s;
        s.ConnectionTimeout = 5000;
        s.Connect("127.0.0.1", Env("ZEL_WIN_HTTP_PORT"));
        ASSERT_EQ(s.LastError, 0);
        EXPECT_FALSE(s.StartTLS());
        EXPECT_EQ(s.LastError, 10091);
        EXPECT_FALSE(s.LastErrorDesc.empty());
        EXPECT_EQ(s.LastErrorDesc, s.SSL().LastErrorDesc) << "the plug-in's text";
        EXPECT_FALSE(s.SSL().SSLEnabled);
    }
}

// The sender takes its proxy from Windows' Internet settings, and an https request then
// goes through a CONNECT tunnel.
TEST_F(WinTls, TheSenderUsesTheProxyOfTheInternetSettings) {
    HKEY key = nullptr;
    ASSERT_EQ(RegCreateKeyExW(HKEY_CURRENT_USER, L"Software\\Microsoft\\Windows\\CurrentVersion\\Internet Settings", 0,
                              nullptr, 0, KEY_ALL_ACCESS, nullptr, &key, nullptr),
              ERROR_SUCCESS);
    auto setString = [&](const wchar_t* name, const std::wstring& v) {
        RegSetValueExW(key, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(v.c_str()),
                       DWORD((v.size() + 1) * sizeof(wchar_t)));
    };
    // Windows keeps the settings twice: the values of the key, and the LAN connection's record
    // (format version 0x46, a counter, the flags, then each text after its length), which
    // WinHTTP reads. The flags: 1 direct, 2 the proxy switched on.
    const std::string proxyText = "127.0.0.1:" + Env("ZEL_WIN_PROXY_PORT");
    const std::string bypassText = "*.example.com;intranet";
    auto setEnable = [&](DWORD on) {
        RegSetValueExW(key, L"ProxyEnable", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&on), sizeof on);
        std::string record;
        auto put32 = [&](uint32_t v) { record.append(reinterpret_cast<const char*>(&v), 4); };
        put32(0x46);
        put32(on + 1);
        put32(on ? 3 : 1);
        put32(uint32_t(proxyText.size()));
        record += proxyText;
        put32(uint32_t(bypassText.size()));
        record += bypassText;
        record += std::string(36, '\0');  // no configuration script, nothing more
        HKEY connections = nullptr;
        RegCreateKeyExW(key, L"Connections", 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &connections, nullptr);
        RegSetValueExW(connections, L"DefaultConnectionSettings", 0, REG_BINARY,
                       reinterpret_cast<const BYTE*>(record.data()), DWORD(record.size()));
        RegCloseKey(connections);
    };
    setString(L"ProxyServer", Widen(proxyText));
    setString(L"ProxyOverride", Widen(bypassText));
    setEnable(1);

    TSystemProxyText text;
    EXPECT_TRUE(OSServices().ReadProxySettings(text));
    EXPECT_EQ(text.ProxyServer, "127.0.0.1:" + Env("ZEL_WIN_PROXY_PORT"));
    EXPECT_NE(text.ProxyBypass.find("intranet"), std::string::npos) << text.ProxyBypass;
    const TProxySetting https = ReadProxySettings("https");
    EXPECT_EQ(https.Host, "127.0.0.1");
    EXPECT_EQ(https.Port, Env("ZEL_WIN_PROXY_PORT"));

    {
        TzelHttpSend http;
        http.Sock->SSL().CAFile = Env("ZEL_WIN_CA_FILE");
        http.Sock->SSL().VerifyCert = true;
        const std::string url = "https://localhost:" + Env("ZEL_WIN_GOOD_PORT") + "/hello.txt";
        EXPECT_TRUE(http.HTTPMethod("GET", url));
        EXPECT_EQ(http.ResultCode, 200);
        EXPECT_TRUE(http.Sock->HTTPTunnel) << "through the proxy's tunnel";
        EXPECT_EQ(http.Document.Bytes(), "hello over TLS\n");
    }

    setEnable(0);
    EXPECT_TRUE(OSServices().ReadProxySettings(text));
    EXPECT_EQ(text.ProxyServer, "") << "proxy switched off";
    RegDeleteValueW(key, L"ProxyServer");
    RegDeleteValueW(key, L"ProxyOverride");
    RegDeleteKeyW(key, L"Connections");
    RegCloseKey(key);
}

// A blank in the location goes onto the wire encoded: raw, it would split the request line.
TEST_F(WinTls, ABlankInTheLocationIsSentEncoded) {
    TzelHttpSend http;
    EXPECT_TRUE(http.HTTPMethod("GET", "http://127.0.0.1:" + Env("ZEL_WIN_HTTP_PORT") + "/a b.txt"));
    EXPECT_EQ(http.ResultCode, 200);
    EXPECT_EQ(http.Document.Bytes(), "a blank in the name\n");
}

// The download through the Windows Internet functions: written as it is read, with progress
// against the declared length; false, with nothing written, when the URL does not open.
TEST_F(WinTls, DownloadsThroughTheInternetFunctions) {
    TWinTempDir dir;
    const std::string folder = Narrow(dir.WPath()), url = "http://127.0.0.1:" + Env("ZEL_WIN_HTTP_PORT") + "/big.bin";
    std::string expected;
    for (int i = 0; i < 1200; ++i)
        for (int b = 0; b < 256; ++b) expected += char(b);
    TzelHTTPFileDownloader d;
    std::vector<std::pair<int32_t, int32_t>> events;
    d.OnDownloadProgress = [&](TzelHTTPFileDownloader&, int32_t Declared, int32_t Received) {
        events.push_back({Declared, Received});
    };
    EXPECT_TRUE(d.DownloadFileWithIE(url, folder + "big.bin"));
    EXPECT_TRUE(ReadFileBytes(folder + "big.bin") == expected);
    ASSERT_GT(events.size(), 1u);
    EXPECT_EQ(events.back(), std::make_pair(int32_t(expected.size()), int32_t(expected.size())));

    EXPECT_FALSE(d.DownloadFileWithIE("http://127.0.0.1:1/big.bin", folder + "none.bin"));
    EXPECT_FALSE(FileExists(folder + "none.bin"));

    // A stop from the progress handler ends it after the read that raised the event.
    d.OnDownloadProgress = [](TzelHTTPFileDownloader& Self, int32_t, int32_t) { Self.CancelDownload = true; };
    EXPECT_FALSE(d.DownloadFileWithIE(url, folder + "stopped.bin"));
    EXPECT_LT(ReadFileBytes(folder + "stopped.bin").size(), expected.size());
}

TEST(WinFileStream, KeepsBytesAsTheyAre) {
    TWinTempDir dir;
    const std::string name = Narrow(dir.WPath()) + "T\xC3\xA9mp";
    const std::string bytes("a\r\nb\n\x1A\0c", 8);
    {
        TFileStream out(name, TFileMode::CreateWrite);
        out.Write(bytes.data(), bytes.size());
        EXPECT_EQ(out.GetSize(), 8);
        out.SetSize(5);
        EXPECT_EQ(out.GetPosition(), 5);
    }
    {
        // While it is written, others may read the file but not write it.
        TFileStream target(name + "2", TFileMode::CreateWrite);
        const std::wstring wide = Widen(name + "2");
        for (const DWORD access : {DWORD(GENERIC_READ), DWORD(GENERIC_WRITE)}) {
            SCOPED_TRACE(access == GENERIC_READ ? "read" : "write");
            HANDLE h = CreateFileW(wide.c_str(), access, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                   nullptr, OPEN_EXISTING, 0, nullptr);
            EXPECT_EQ(h != INVALID_HANDLE_VALUE, access == GENERIC_READ);
            if (h == INVALID_HANDLE_VALUE) {
                EXPECT_EQ(GetLastError(), DWORD(ERROR_SHARING_VIOLATION));
            } else {
                CloseHandle(h);
            }
        }
    }
    TFileStream in(name, TFileMode::OpenRead);
    char buf[16] = {};
    EXPECT_EQ(in.Read(buf, sizeof buf), 5u);
    EXPECT_EQ(std::string(buf, 5), bytes.substr(0, 5));
    {
        // A continued download writes after what the file keeps.
        TFileStream more(name, TFileMode::OpenWrite);
        EXPECT_EQ(more.GetSize(), 5);
        more.SetPosition(5);
        more.Write("xyz", 3);
    }
    EXPECT_EQ(ReadFileBytes(name), bytes.substr(0, 5) + "xyz");
    try {
        TFileStream missing(name + "x", TFileMode::OpenRead);
        ADD_FAILURE() << "opened a missing file";
    } catch (const EUpdaterError& e) {
        EXPECT_EQ(e.Message().rfind("Cannot open file \"" + name + "x\". ", 0), 0u) << e.Message();
    }
}

// Serves one canned reply to one request on a loopback port.
class TCannedServer {
public:
    explicit TCannedServer(std::string Reply) : reply_(std::move(Reply)) {
        thread_ = std::thread([this] {
            const SOCKET c = accept(listener_.Socket(), nullptr, nullptr);
            if (c == INVALID_SOCKET) return;
            std::string request;
            char buf[4096];
            while (request.find("\r\n\r\n") == std::string::npos) {
                const int n = recv(c, buf, sizeof buf, 0);
                if (n <= 0) break;
                request.append(buf, size_t(n));
            }
            send(c, reply_.data(), int(reply_.size()), 0);
            shutdown(c, SD_SEND);
            closesocket(c);
        });
    }
    ~TCannedServer() { thread_.join(); }
    std::string Url(const std::string& Path) const { return "http://127.0.0.1:" + listener_.Port() + Path; }

private:
    TSilentListener listener_;
    std::string reply_;
    std::thread thread_;
};

TEST(WinDownloader, RefusesRepliesFramedBadly) {
    const std::string body(1000, 'b');
    struct Case {
        const char* name;
        std::string head;
        std::string refusal;  // empty: accepted
    };
    const Case cases[] = {
        {"two lengths that disagree", "Content-Length: 128000\r\nContent-Length: 1000\r\n",
         "its Content-Length lines disagree (\"128000\", \"1000\")."},
        {"negative length", "Content-Length: -5\r\n", "its Content-Length \"-5\" is not a plain decimal number."},
        {"gzip", "Content-Length: 1000\r\nContent-Encoding: gzip\r\n",
         "its body is sent with Content-Encoding \"gzip\", and only identity is accepted."},
        {"plain", "Content-Length: 1000\r\n", ""},
    };
    TWinTempDir dir;
    const std::string file = Narrow(dir.WPath()) + "Temp";
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        TCannedServer server("HTTP/1.1 200 OK\r\n" + c.head + "\r\n" + body);
        const std::string url = server.Url("/app.exe");
        TzelHTTPFileDownloader dl;
        try {
            EXPECT_TRUE(dl.DownloadFile(url, file, nullptr));
            EXPECT_TRUE(c.refusal.empty()) << "accepted";
            EXPECT_EQ(ReadFileBytes(file), body);
        } catch (const EUpdaterError& e) {
            EXPECT_EQ(e.Message(), "The server's reply for \"" + url + "\" was refused: " + c.refusal);
            EXPECT_FALSE(FileExists(file));
        }
        DeleteFileIfExists(file);
    }
}
}  // namespace

// A configuration script named in the settings (served by nginx) decides for each URL; WinHTTP
// fetches and runs it.
TEST(WinProxyScript, TheScriptAnswersPerUrl) {
    const std::string www = Env("ZEL_WIN_WWW");
    const std::string proxy = "127.0.0.1:" + Env("ZEL_WIN_PROXY_PORT");
    {
        std::ofstream pac("Z:" + www + "/office.pac", std::ios::binary);
        pac << "function FindProxyForURL(url, host) {\n"
               "  if (host == \"direct.example\") return \"DIRECT\";\n"
               "  return \"PROXY " << proxy << "; DIRECT\";\n}\n";
    }
    HKEY key = nullptr;
    ASSERT_EQ(RegCreateKeyExW(HKEY_CURRENT_USER,
                              L"Software\\Microsoft\\Windows\\CurrentVersion\\Internet Settings\\Connections", 0,
                              nullptr, 0, KEY_ALL_ACCESS, nullptr, &key, nullptr),
              ERROR_SUCCESS);
    const std::string script = "http://127.0.0.1:" + Env("ZEL_WIN_HTTP_PORT") + "/office.pac";
    std::string record;
    auto put32 = [&](uint32_t v) { record.append(reinterpret_cast<const char*>(&v), 4); };
    put32(0x46);
    put32(7);
    put32(1 | 4);  // direct, and the configuration script
    put32(0);
    put32(0);
    put32(uint32_t(script.size()));
    record += script;
    record += std::string(32, '\0');
    RegSetValueExW(key, L"DefaultConnectionSettings", 0, REG_BINARY, reinterpret_cast<const BYTE*>(record.data()),
                   DWORD(record.size()));

    std::string text = "unset";
    EXPECT_TRUE(OSServices().ProxyForUrl("http://origin.example/a.ini", text));
    EXPECT_EQ(text.substr(0, proxy.size()), proxy) << text;
    text = "unset";
    EXPECT_TRUE(OSServices().ProxyForUrl("http://direct.example/a.ini", text));
    EXPECT_EQ(text, "");
    {
        // The script's proxy (tinyproxy) fetches the file for the sender.
        TzelHttpSend http;
        std::vector<std::string> notes;
        http.OnProxyNote = [&](TzelHttpSend&, const std::string& n) { notes.push_back(n); };
        EXPECT_TRUE(http.HTTPMethod("GET", "http://127.0.0.1:" + Env("ZEL_WIN_HTTP_PORT") + "/hello.txt"));
        EXPECT_EQ(http.ResultCode, 200);
        ASSERT_FALSE(notes.empty());
        EXPECT_NE(notes.back().find("through the proxy " + proxy + " (automatic configuration)"), std::string::npos)
            << notes.back();
    }
    RegDeleteValueW(key, L"DefaultConnectionSettings");
    RegCloseKey(key);
}
