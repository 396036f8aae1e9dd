// Downloads that fail: the messages, no file left behind, the socket closed; and what the
// file holds when the transport gives up without an exception.
#include <gtest/gtest.h>

#include <cstdio>

#include "http/http_transport.h"
#include "http/zel_http_file_downloader.h"
#include "platform/errors.h"
#include "tests/http/sender_fixtures.h"
#include "tests/support/scripted_server.h"
#include "tests/support/temp_dir.h"

using namespace http;
using namespace platform;

namespace {

constexpr const char* kNoConnection =
    "No connection to internet.  A firewall may be preventing connection to the internet from this application.";

class DownloaderFailure : public ::testing::Test {
protected:
    FakeProxyServices os;
    ScopedOSServices use{os};
    TempDir dir;
};

// Header lines as a failure message quotes them: their line ends shown escaped.
std::string Shown(std::string Lines) {
    for (size_t at; (at = Lines.find("\r\n")) != std::string::npos;) Lines.replace(at, 2, "\\x0D\\x0A");
    return Lines;
}

TEST_F(DownloaderFailure, MessagesAndNoFileLeft) {
    struct Case {
        const char* name;
        std::string reply;    // sent after the request, then the server waits and closes
        int serverPauseMs;    // before closing
        std::string message;  // "{url}" stands for the URL
    };
    const std::string h404 = "HTTP/1.1 404 Not Found\r\nContent-Type: text/html\r\nContent-Length: 9\r\n\r\n";
    const std::string h302 = "HTTP/1.0 302 Found\r\nLocation: http://elsewhere/\r\n\r\n";
    const Case cases[] = {
        {"404 with the header text", h404 + "not found", 0, "Unable to get file at location: \"{url}\"\r" + Shown(h404)},
        // No length: the server's close ends the reply as a reset.
        {"redirect without length", h302 + "moved", 0, "TCP/IP Socket error 10054: Connection reset by peer"},
        {"undeclared length", "HTTP/1.0 200 OK\r\n\r\nbody", 0, "TCP/IP Socket error 10054: Connection reset by peer"},
        {"no reply within the time-out", "", 800, kNoConnection},
        {"reply stops within the time-out", "HTTP/1.0 200 OK\r\nContent-Length: 10\r\n\r\nab", 800, kNoConnection},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        ScriptedServer server;
        server.Accept().ExpectRequest().Send(c.reply).SleepMs(c.serverPauseMs).Close().Start();
        dir.Write("target", "old content");
        TzelHTTPFileDownloader dl;
        dl.Timeout = 300;
        const std::string url = server.Url("/files/app.exe");
        std::string message = c.message;
        const size_t at = message.find("{url}");
        if (at != std::string::npos) message.replace(at, 5, url);
        try {
            dl.DownloadFile(url, dir.File("target"), nullptr);
            ADD_FAILURE() << "no exception";
        } catch (const EUpdaterError& e) {
            EXPECT_EQ(std::string(e.what()), message);
        }
        EXPECT_FALSE(dir.Exists("target"));
        EXPECT_FALSE(dl.Sock->IsOpen());
    }
}

TEST_F(DownloaderFailure, RefusalsBeforeTheRequest) {
    // Windows 9x: refused, and the file made for the download is gone again.
    {
        os.Windows9x = true;
        TzelHTTPFileDownloader dl;
        try {
            dl.DownloadFile("http://127.0.0.1:1/x", dir.File("w9x"), nullptr);
            ADD_FAILURE() << "no exception";
        } catch (const EUpdaterError& e) {
            EXPECT_EQ(std::string(e.what()),
                      "This feature is not allowed in Windows 95, 98 or ME.  You must use a web browser to "
                      "connect to the internet.");
        }
        EXPECT_FALSE(dir.Exists("w9x"));
        os.Windows9x = false;
    }
    // A target that cannot be created: the file error, and no request at all.
    {
        TzelHTTPFileDownloader dl;
        EventLog log;
        log.Attach(dl);
        const std::string target = dir.File("no/such/folder/x");
        try {
            dl.DownloadFile("http://127.0.0.1:1/x", target, nullptr);
            ADD_FAILURE() << "no exception";
        } catch (const EUpdaterError& e) {
            EXPECT_EQ(std::string(e.what()).rfind("Cannot create file \"" + target + "\".", 0), 0u) << e.what();
        }
        EXPECT_TRUE(log.Events.empty());
        EXPECT_EQ(os.Lookups, 0);
    }
}

TEST_F(DownloaderFailure, UnreachableServerReadsAsNoConnection) {
    // A refused connection keeps its own socket text; only time-outs become "no connection".
    TzelHTTPFileDownloader dl;
    try {
        dl.DownloadFile("http://127.0.0.1:1/x", dir.File("r"), nullptr);
        ADD_FAILURE() << "no exception";
    } catch (const ESocketError& e) {
        EXPECT_EQ(std::string(e.what()), "TCP/IP Socket error 10061: Connection refused");
    }
    EXPECT_FALSE(dir.Exists("r"));
}

// A server that dies part-way through the reply, at many places: always an exception, never
// a file.
TEST_F(DownloaderFailure, ServerDyingMidReply) {
    const std::string body(150000, 'b');
    const std::string identity = "HTTP/1.1 200 OK\r\nContent-Length: 150000\r\n\r\n";
    const std::string chunkedHead = "HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n";
    const std::string chunk1 = "1a;name=x\r\n" + std::string(26, 'c') + "\r\n";
    const std::string bigChunk = "11170\r\n" + std::string(70000, 'd') + "\r\n";
    struct Case {
        std::string name;
        std::string sent;
    };
    std::vector<Case> cases = {
        {"inside the status line", "HTTP/1.1 20"},
        {"inside a header line", "HTTP/1.1 200 OK\r\nContent-Len"},
        {"before the empty line", "HTTP/1.1 200 OK\r\nContent-Length: 5\r\n"},
        {"chunked: inside the first chunk-size line", chunkedHead + "1"},
        {"chunked: inside a chunk-size extension", chunkedHead + "1a;na"},
        {"chunked: inside chunk data", chunkedHead + chunk1.substr(0, 20)},
        {"chunked: after chunk data, before its line end", chunkedHead + chunk1.substr(0, chunk1.size() - 2)},
        {"chunked: between chunks", chunkedHead + chunk1},
        {"chunked: inside the second chunk-size line", chunkedHead + chunk1 + "111"},
        {"chunked: inside the last-chunk line", chunkedHead + chunk1 + "0"},
        {"chunked: large chunk past one piece", chunkedHead + bigChunk.substr(0, 66000)},
        {"chunked: large chunk short by one", chunkedHead + bigChunk.substr(0, bigChunk.size() - 3)},
        {"undeclared length", "HTTP/1.0 200 OK\r\n\r\n" + body.substr(0, 70000)},
    };
    for (const size_t cut : {size_t(0), size_t(1), size_t(65535), size_t(65536), size_t(65537), size_t(149999)})
        cases.push_back({"identity: after " + std::to_string(cut) + " body bytes", identity + body.substr(0, cut)});

    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        ScriptedServer server;
        server.Accept().ExpectRequest().Send(c.sent).Close().Start();
        TzelHTTPFileDownloader dl;
        int progress = 0;
        dl.OnDownloadProgress = [&](TzelHTTPFileDownloader&, int32_t, int32_t) { ++progress; };
        EXPECT_THROW(dl.DownloadFile(server.Url("/f"), dir.File("f"), nullptr), ESocketError);
        EXPECT_FALSE(dir.Exists("f"));
        EXPECT_FALSE(dl.Sock->IsOpen());
    }
}

// With socket exceptions off, a broken reply makes the transport answer false: the file then
// holds exactly what a plain transport would have left in its Document.
TEST_F(DownloaderFailure, FalseResultKeepsWhatArrived) {
    const std::string body(150000, 'b');
    struct Case {
        const char* name;
        std::string sent;
    };
    const Case cases[] = {
        {"identity cut inside the first piece",
         "HTTP/1.1 200 OK\r\nContent-Length: 150000\r\n\r\n" + body.substr(0, 1000)},
        {"identity cut after two pieces", "HTTP/1.1 200 OK\r\nContent-Length: 150000\r\n\r\n" + body.substr(0, 140000)},
        {"chunked cut in the second chunk",
         "HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n5\r\nhello\r\n10\r\n0123456"},
        {"cut inside the header lines", "HTTP/1.1 200 OK\r\nContent-Length: 9"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        ScriptedServer a, b;
        a.Accept().ExpectRequest().Send(c.sent).Close().Start();
        b.Accept().ExpectRequest().Send(c.sent).Close().Start();

        THTTPTransport plain;
        const bool plainOk = plain.HTTPMethod("GET", a.Url("/f"));

        TzelHTTPFileDownloader dl;
        dl.Sock->RaiseExcept = false;
        bool ok = true;
        try {
            ok = dl.DownloadFile(b.Url("/f"), dir.File("f"), nullptr);
        } catch (const EUpdaterError& e) {
            ADD_FAILURE() << "raised " << e.what();
        }
        EXPECT_FALSE(plainOk);
        EXPECT_FALSE(ok);
        ASSERT_TRUE(dir.Exists("f"));
        EXPECT_EQ(dir.Read("f"), plain.Document.Bytes());
        EXPECT_FALSE(dl.Sock->IsOpen());
    }
}

TEST_F(DownloaderFailure, IsFileCurrent) {
    struct Case {
        const char* name;
        const char* serverIni;
        const char* localIni;  // nullptr: no local file
        bool current;
    };
    const Case cases[] = {
        {"same number", "[Files]\r\napp.exe=5\r\n", "app.exe=5\r\n", true},
        {"local ahead", "APP.EXE=5\r\n", "[x]\r\napp.exe=12\r\n", true},
        {"local behind", "app.exe=5\r\n", "app.exe=4\r\n", false},
        {"no local file", "app.exe=5\r\n", nullptr, false},
        {"server has no line for the name", "other.exe=5\r\n", "app.exe=9\r\n", false},
        {"server value empty", "app.exe=\r\n", "app.exe=9\r\n", false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        ScriptedServer server;
        server.Accept().ExpectRequest().Send(Reply200(c.serverIni)).Close().Start();
        TzelHTTPFileDownloader dl;
        dir.Write("target.ini", "stale=1\r\n");
        std::remove(dir.File("status.ini").c_str());
        if (c.localIni) dir.Write("status.ini", c.localIni);
        EXPECT_EQ(dl.IsFileCurrent(server.Url("/versions.ini"), dir.File("target.ini"), dir.File("status.ini"),
                                   "C:\\Program Files\\Brinquet\\app.exe"),
                  c.current);
        EXPECT_EQ(dir.Read("target.ini"), c.serverIni);
    }
}

TEST_F(DownloaderFailure, IsFileCurrentErrors) {
    // A value that is not a number.
    {
        ScriptedServer server;
        server.Accept().ExpectRequest().Send(Reply200("app.exe=5\r\n")).Close().Start();
        dir.Write("status.ini", "app.exe=five\r\n");
        TzelHTTPFileDownloader dl;
        EXPECT_THROW(dl.IsFileCurrent(server.Url("/v.ini"), dir.File("t.ini"), dir.File("status.ini"), "app.exe"),
                     EConvertError);
    }
    // DownloadFile's exception passes unchanged.
    {
        ScriptedServer server;
        server.Accept().ExpectRequest().Send("HTTP/1.0 404 Not Found\r\nContent-Length: 0\r\n\r\n").Close().Start();
        TzelHTTPFileDownloader dl;
        try {
            dl.IsFileCurrent(server.Url("/v.ini"), dir.File("t.ini"), dir.File("status.ini"), "app.exe");
            ADD_FAILURE() << "no exception";
        } catch (const EUpdaterError& e) {
            EXPECT_EQ(std::string(e.what()).rfind("Unable to get file at location: ", 0), 0u) << e.what();
        }
    }
    // Neither download works without an exception: no connection at all.
    {
        TzelHTTPFileDownloader dl;
        dl.Sock->RaiseExcept = false;
        dl.CancelDownload = true;
        try {
            dl.IsFileCurrent("http://127.0.0.1:1/v.ini", dir.File("t.ini"), dir.File("status.ini"), "app.exe");
            ADD_FAILURE() << "no exception";
        } catch (const EUpdaterError& e) {
            EXPECT_EQ(std::string(e.what()),
                      "No available connection to the internet.  Please verify no firewalls are blocking this "
                      "application and you can view web sites through your browser.");
        }
        EXPECT_FALSE(dl.CancelDownload);  // the system download ran first and reset it
    }
}

}  // namespace
