// Downloads that continue where a cut one stopped, and replies whose framing the downloader
// refuses before it stores a byte: against a scripted server that cuts after N bytes and
// against nginx's own Range and If-Range.
#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <optional>

#include "http/resume_record.h"
#include "http/socket_errors.h"
#include "http/zel_http_file_downloader.h"
#include "platform/errors.h"
#include "platform/file_utils.h"
#include "tests/http/sender_fixtures.h"
#include "tests/support/real_peers.h"
#include "tests/support/scripted_server.h"
#include "tests/support/temp_dir.h"

using namespace http;
using namespace platform;

namespace {

std::string Bytes(size_t n, uint32_t seed = 2463534242u) {
    std::string s(n, '\0');
    uint32_t x = seed;
    for (size_t i = 0; i < n; ++i) {
        x ^= x << 13, x ^= x >> 17, x ^= x << 5;
        s[i] = char(x);
    }
    return s;
}

bool Has(const std::string& request, const std::string& line) {
    return request.find("\r\n" + line + "\r\n") != std::string::npos;
}

class DownloaderResume : public ::testing::Test {
protected:
    std::string File() const { return dir.File("Temp.part"); }
    std::string Record() const { return dir.File("Temp.resume"); }
    // What a cut first attempt leaves: Kept bytes and the record of the whole.
    void Keep(size_t Kept, const std::string& Url, const std::string& Validator = "\"v1\"") {
        dir.Write("Temp.part", body.substr(0, Kept));
        SaveResumeRecord(Record(), TResumeRecord{Url, key.Sha256, key.Size, Validator});
    }

    FakeProxyServices os;
    ScopedOSServices use{os};
    TempDir dir;
    const std::string body = Bytes(1000);
    const TResumeKey key{std::string(64, 'a'), 1000};
};

TEST_F(DownloaderResume, ACutTransferIsKeptAndTheNextAttemptAsksForTheRest) {
    // Cut at 30 %. The body is stored in whole pieces of 64 KiB, so what a cut keeps is the
    // pieces that had arrived whole: one here.
    const std::string big = Bytes(300000);
    const TResumeKey bigKey{key.Sha256, 300000};
    constexpr size_t kKept = 65536;
    ScriptedServer server;
    server.Accept()
        .ExpectRequest()
        .Send("HTTP/1.1 200 OK\r\nContent-Length: 300000\r\nETag: \"v1\"\r\n\r\n" + big.substr(0, 90000))
        .Close()
        .Accept()
        .ExpectRequest()
        .Send(
            "HTTP/1.1 206 Partial Content\r\nContent-Range: bytes 65536-299999/300000\r\nContent-Length: 234464\r\n"
            "ETag: \"v1\"\r\n\r\n" +
            big.substr(kKept))
        .Close()
        .Start();
    const std::string url = server.Url("/big.bin");
    TzelHTTPFileDownloader dl;
    try {
        dl.DownloadFileResuming(url, File(), Record(), bigKey);
        ADD_FAILURE() << "the cut transfer succeeded";
    } catch (const ESocketError& e) {
        EXPECT_EQ(e.ErrorCode, wsConnectionReset);
    }
    EXPECT_TRUE(dl.LastFailureTransient);
    EXPECT_TRUE(dir.Read("Temp.part") == big.substr(0, kKept)) << "not the whole pieces that arrived";
    TResumeRecord record;
    ASSERT_TRUE(LoadResumeRecord(Record(), record));
    EXPECT_EQ(record.Url, url);
    EXPECT_EQ(record.Validator, "\"v1\"");

    EXPECT_TRUE(dl.DownloadFileResuming(url, File(), Record(), bigKey));
    EXPECT_TRUE(dir.Read("Temp.part") == big) << "the file is not whole";
    EXPECT_EQ(dl.LastResumedFrom, int64_t(kKept));
    EXPECT_FALSE(dir.Exists("Temp.resume"));
    const std::string second = server.Request(1);
    EXPECT_TRUE(Has(second, "Range: bytes=65536-")) << second;
    EXPECT_TRUE(Has(second, "If-Range: \"v1\"")) << second;
    EXPECT_EQ(server.Request(0).find("Range:"), std::string::npos);
}

TEST_F(DownloaderResume, RepliesThatDoNotContinueTheKeptPartStartOver) {
    const std::string whole = "HTTP/1.1 200 OK\r\nContent-Length: 1000\r\nETag: \"v2\"\r\n\r\n" + body;
    auto partial = [&](const std::string& range) {
        return "HTTP/1.1 206 Partial Content\r\nContent-Range: " + range + "\r\n\r\n" + body.substr(300);
    };
    struct Case {
        const char* name;
        std::string reply;  // to the request with Range
        bool askedAgain;    // a second request from zero follows
    };
    const Case cases[] = {
        {"200: Range ignored or the file changed", whole, false},
        {"206 from another start", partial("bytes 200-899/1000"), true},
        {"206 not to the end", partial("bytes 300-899/1000"), true},
        {"206 of another total", partial("bytes 300-999/2000"), true},
        {"206 with an unreadable range", partial("bytes 300-999/*"), true},
        {"416", "HTTP/1.1 416 Range Not Satisfiable\r\nContent-Length: 0\r\n\r\n", true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        ScriptedServer server;
        server.Accept().ExpectRequest().Send(c.reply).Close();
        if (c.askedAgain) server.Accept().ExpectRequest().Send(whole).Close();
        server.Start();
        Keep(300, server.Url("/big.bin"));
        TzelHTTPFileDownloader dl;
        EXPECT_TRUE(dl.DownloadFileResuming(server.Url("/big.bin"), File(), Record(), key));
        EXPECT_TRUE(dir.Read("Temp.part") == body) << "the file is not the whole body";
        EXPECT_EQ(dl.LastResumedFrom, 0);
        const auto requests = server.Requests();
        ASSERT_EQ(requests.size(), c.askedAgain ? 2u : 1u);
        EXPECT_TRUE(Has(requests[0], "Range: bytes=300-")) << requests[0];
        if (c.askedAgain) {
            EXPECT_EQ(requests[1].find("Range:"), std::string::npos) << requests[1];
        }
    }
}

TEST_F(DownloaderResume, AKeptPartOfAnythingElseIsNotContinued) {
    struct Case {
        const char* name;
        std::string url, sha256;
        int64_t size;
        size_t kept;
    };
    const std::string sha = key.Sha256;
    const Case cases[] = {
        {"another URL", "/other.bin", sha, 1000, 300},
        {"another SHA256", "/big.bin", std::string(64, 'b'), 1000, 300},
        {"another size", "/big.bin", sha, 2000, 300},
        {"kept part already as long as the whole", "/big.bin", sha, 1000, 1000},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        ScriptedServer server;
        server.Accept().ExpectRequest().Send("HTTP/1.1 200 OK\r\nContent-Length: 1000\r\n\r\n" + body).Close().Start();
        dir.Write("Temp.part", Bytes(c.kept, 7));
        SaveResumeRecord(Record(), TResumeRecord{server.Url(c.url), c.sha256, c.size, "\"v1\""});
        TzelHTTPFileDownloader dl;
        EXPECT_TRUE(dl.DownloadFileResuming(server.Url("/big.bin"), File(), Record(), key));
        EXPECT_TRUE(dir.Read("Temp.part") == body);
        EXPECT_EQ(server.Request(0).find("Range:"), std::string::npos) << server.Request(0);
    }
}

TEST_F(DownloaderResume, ErrorRepliesToAResumedRequest) {
    struct Case {
        const char* name;
        std::string reply;
        bool transient;  // the kept part stays for a later try
    };
    const Case cases[] = {
        {"503 keeps the part", "HTTP/1.1 503 Busy\r\nContent-Length: 4\r\n\r\nbusy", true},
        {"404 drops it", "HTTP/1.1 404 Not Found\r\nContent-Length: 4\r\n\r\ngone", false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        ScriptedServer server;
        server.Accept().ExpectRequest().Send(c.reply).Close().Start();
        Keep(300, server.Url("/big.bin"));
        TzelHTTPFileDownloader dl;
        EXPECT_THROW(dl.DownloadFileResuming(server.Url("/big.bin"), File(), Record(), key), EUpdaterError);
        EXPECT_EQ(dl.LastFailureTransient, c.transient);
        EXPECT_EQ(dir.Exists("Temp.part"), c.transient);
        EXPECT_EQ(dir.Exists("Temp.resume"), c.transient);
        if (c.transient) {
            EXPECT_TRUE(dir.Read("Temp.part") == body.substr(0, 300)) << "the kept part changed";
        }
    }
}

TEST_F(DownloaderResume, RefusedFramingsLeaveNoFile) {
    const std::string kRefused = "The server's reply for \"{url}\" was refused: ";
    struct Case {
        const char* name;
        std::string head;     // header lines after the status line
        std::string refusal;  // empty: accepted
    };
    const Case cases[] = {
        {"two lengths that disagree", "Content-Length: 128000\r\nContent-Length: 1000\r\n",
         "its Content-Length lines disagree (\"128000\", \"1000\")."},
        {"negative length", "Content-Length: -5\r\n", "its Content-Length \"-5\" is not a plain decimal number."},
        {"signed length", "Content-Length: +1000\r\n", "its Content-Length \"+1000\" is not a plain decimal number."},
        {"inner blank", "Content-Length: 10 00\r\n", "its Content-Length \"10 00\" is not a plain decimal number."},
        {"gzip", "Content-Length: 1000\r\nContent-Encoding: gzip\r\n",
         "its body is sent with Content-Encoding \"gzip\", and only identity is accepted."},
        {"identity, the length twice alike",
         "Content-Length: 1000\r\nContent-Length: 1000\r\nContent-Encoding: identity\r\n", ""},
    };
    for (const bool withKey : {false, true}) {
        for (const auto& c : cases) {
            SCOPED_TRACE(std::string(c.name) + (withKey ? ", resumable" : ""));
            ScriptedServer server;
            server.Accept().ExpectRequest().Send("HTTP/1.1 200 OK\r\n" + c.head + "\r\n" + body).Close().Start();
            const std::string url = server.Url("/app.exe");
            TzelHTTPFileDownloader dl;
            try {
                const bool ok = withKey ? dl.DownloadFileResuming(url, File(), Record(), key)
                                        : dl.DownloadFile(url, File(), nullptr);
                EXPECT_TRUE(c.refusal.empty()) << "accepted";
                EXPECT_TRUE(ok);
                EXPECT_TRUE(dir.Read("Temp.part") == body);
            } catch (const EUpdaterError& e) {
                std::string want = kRefused + c.refusal;
                want.replace(want.find("{url}"), 5, url);
                EXPECT_EQ(std::string(e.what()), want);
                EXPECT_FALSE(c.refusal.empty());
                EXPECT_FALSE(dl.LastFailureTransient);
                EXPECT_FALSE(dir.Exists("Temp.part"));
                EXPECT_FALSE(dir.Exists("Temp.resume"));
            }
            DeleteFileIfExists(File());
        }
    }
}

TEST_F(DownloaderResume, NoCacheLinesOnlyWhenAsked) {
    for (const bool noCache : {false, true}) {
        SCOPED_TRACE(noCache ? "asked" : "not asked");
        ScriptedServer server;
        server.Accept().ExpectRequest().Send("HTTP/1.0 200 OK\r\nContent-Length: 2\r\n\r\nok").Close().Start();
        TzelHTTPFileDownloader dl;
        dl.NoCache = noCache;
        EXPECT_TRUE(dl.DownloadFile(server.Url("/a.ini"), File(), nullptr));
        const std::string r = server.Request(0);
        EXPECT_EQ(Has(r, "Pragma: no-cache"), noCache) << r;
        EXPECT_EQ(Has(r, "Cache-Control: no-cache"), noCache) << r;
    }
}

// nginx answers Range and If-Range itself: a transfer stopped at about 30 % continues with a
// 206, and a file changed on the server in between comes whole with a 200.
class DownloaderResumeNginx : public ::testing::Test {
protected:
    void SetUp() override {
        www.Write("big.bin", content);
        nginx.emplace(www.Path());
        ASSERT_TRUE(nginx->Started()) << nginx->Error();
    }
    // The first attempt, stopped from its progress handler once 30 % are stored.
    void CutAtAThird(TzelHTTPFileDownloader& dl) {
        dl.OnDownloadProgress = [](TzelHTTPFileDownloader& d, int32_t total, int32_t sent) {
            if (sent >= total * 3 / 10) d.Sock->CloseSocket();
        };
        EXPECT_THROW(dl.DownloadFileResuming(nginx->Url("/big.bin"), out.File("part"), out.File("record"), key),
                     ESocketError);
        dl.OnDownloadProgress = nullptr;
        const int64_t kept = int64_t(out.Read("part").size());
        EXPECT_GE(kept, int64_t(content.size()) * 3 / 10);
        EXPECT_LT(kept, int64_t(content.size()));
        EXPECT_TRUE(out.Exists("record"));
    }

    FakeProxyServices os;
    ScopedOSServices use{os};
    // A receive takes up to 1 MiB, so the stop at 30 % comes several receives before the end:
    // a stop in the last one finds the whole body in hand and stores it.
    static constexpr size_t kSize = 8 * 1024 * 1024 + 17;
    const std::string content = Bytes(kSize);
    const TResumeKey key{std::string(64, 'c'), int64_t(kSize)};
    TempDir www, out;
    std::optional<NginxServer> nginx;
};

TEST_F(DownloaderResumeNginx, AStoppedTransferContinuesWithA206) {
    TzelHTTPFileDownloader dl;
    CutAtAThird(dl);
    const int64_t kept = int64_t(out.Read("part").size());
    EXPECT_TRUE(dl.DownloadFileResuming(nginx->Url("/big.bin"), out.File("part"), out.File("record"), key));
    EXPECT_EQ(dl.LastResumedFrom, kept);
    EXPECT_TRUE(out.Read("part") == content) << "the file is not whole";
    EXPECT_FALSE(out.Exists("record"));
}

TEST_F(DownloaderResumeNginx, AFileChangedOnTheServerComesWhole) {
    TzelHTTPFileDownloader dl;
    CutAtAThird(dl);
    const std::string changed = Bytes(content.size(), 99);
    www.Write("big.bin", changed);
    // Another modification time, so nginx's ETag differs even within the same second.
    std::filesystem::last_write_time(www.File("big.bin"),
                                     std::filesystem::file_time_type::clock::now() + std::chrono::hours(1));
    EXPECT_TRUE(dl.DownloadFileResuming(nginx->Url("/big.bin"), out.File("part"), out.File("record"), key));
    EXPECT_EQ(dl.LastResumedFrom, 0);
    EXPECT_TRUE(out.Read("part") == changed) << "kept bytes of the old file were mixed in";
}

}  // namespace
