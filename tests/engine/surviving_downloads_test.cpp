// Whole updates over a link that cuts, a server that is busy for a while and a caching proxy
// on the way; and a daily run that costs nothing when the installed files are the offered ones.
#include <atomic>

#include "crypto/crypto.h"
#include "http/zel_http_file_downloader.h"
#include "tests/engine/update_fixture.h"
#include "tests/support/scripted_server.h"
#include "tests/support/test_keys.h"

using namespace engine;
using namespace platform;
using namespace ui;

namespace {

std::string Bytes(size_t n) {
    std::string s(n, '\0');
    uint32_t x = 88172645u;
    for (size_t i = 0; i < n; ++i) {
        x ^= x << 13, x ^= x >> 17, x ^= x << 5;
        s[i] = char(x);
    }
    return s;
}
std::string Sha(const std::string& bytes) { return crypto::ToHex(crypto::Sha256(bytes)); }
bool Has(const std::string& request, const std::string& line) {
    return request.find("\r\n" + line + "\r\n") != std::string::npos;
}

// 300000 bytes, cut at 30 %: the pieces that arrived whole (one of 64 KiB) are kept.
const std::string kSetup = Bytes(300000);
constexpr size_t kKept = 65536;
const std::string kIni = kHeader +
                         "FILECOUNT=1\r\nFILE0NAME=setup.bin\r\nFILE0VERSION=1.0.0.0\r\nFILE0SHA256=" + Sha(kSetup) +
                         "\r\nFILE0SIZE=300000\r\nFILE0EXECUTE=NEVER\r\n";
const std::string kCut = "HTTP/1.1 200 OK\r\nContent-Length: 300000\r\nETag: \"s1\"\r\n\r\n" + kSetup.substr(0, 90000);
const std::string kRest =
    "HTTP/1.1 206 Partial Content\r\nContent-Range: bytes 65536-299999/300000\r\n"
    "Content-Length: 234464\r\nETag: \"s1\"\r\n\r\n" +
    kSetup.substr(kKept);

class SurvivingDownloads : public Update {
protected:
    void SetUp() override {
        Update::SetUp();
        prepare = [this](SiteForm& form) {
            form.RetryPause = [this](int ms) {
                pauses.push_back(ms);
                return !stopInPause;
            };
        };
    }
    std::vector<int> pauses;
    bool stopInPause = false;
};

TEST_F(SurvivingDownloads, ACutTransferIsContinuedInTheSameRun) {
    ScriptedServer server;
    server.Accept().ExpectRequest().Send(IniReply(kIni)).Close();
    server.Accept().ExpectRequest().Send(kCut).Close();
    server.Accept().ExpectRequest().Send(kRest).Close();
    server.Start();
    RunNonVisual(server.Url("/cfg/"));
    EXPECT_FALSE(errorUpdating) << LastError();
    EXPECT_TRUE(dir.Read("setup.bin") == kSetup) << "the installed file is not whole";
    EXPECT_EQ(pauses, std::vector<int>{1000});
    const std::string third = server.Request(2);
    EXPECT_TRUE(Has(third, "Range: bytes=65536-")) << third;
    EXPECT_TRUE(Has(third, "If-Range: \"s1\"")) << third;
    EXPECT_TRUE(Logged("TzelCustUpdaterDialogForm.DownloadFile(): attempt 1 of " + server.Url("/cfg/setup.bin") +
                       " failed: TCP/IP Socket error 10054: Connection reset by peer - trying again in 1 s"));
    EXPECT_TRUE(Logged("TzelCustUpdaterDialogForm.DownloadFile(): " + server.Url("/cfg/setup.bin") +
                       " continued after 65536 bytes kept from an earlier attempt"));
    EXPECT_FALSE(dir.Exists("Temp.part"));
    EXPECT_FALSE(dir.Exists("Temp.resume"));
}

TEST_F(SurvivingDownloads, ACutTransferIsContinuedByTheNextRun) {
    dir.Write("setup.bin", "installed");
    ScriptedServer server;
    server.Accept().ExpectRequest().Send(IniReply(kIni)).Close();
    server.Accept().ExpectRequest().Send(kCut).Close();
    server.Accept().ExpectRequest().Send(IniReply(kIni)).Close();
    server.Accept().ExpectRequest().Send(kRest).Close();
    server.Start();
    // The first run ends in the pause after the cut, as when the updater is stopped or killed there.
    stopInPause = true;
    RunNonVisual(server.Url("/cfg/"));
    EXPECT_TRUE(errorUpdating);
    EXPECT_EQ(dir.Read("setup.bin"), "installed");
    EXPECT_TRUE(dir.Read("Temp.part") == kSetup.substr(0, kKept));
    EXPECT_TRUE(dir.Exists("Temp.resume"));

    stopInPause = false;
    RunNonVisual(server.Url("/cfg/"));
    EXPECT_FALSE(errorUpdating) << LastError();
    EXPECT_TRUE(dir.Read("setup.bin") == kSetup) << "the installed file is not whole";
    EXPECT_TRUE(Has(server.Request(3), "Range: bytes=65536-")) << server.Request(3);
    EXPECT_FALSE(dir.Exists("Temp.part"));
}

TEST_F(SurvivingDownloads, WhatIsRetriedAndWhatIsNot) {
    const std::string busy = "HTTP/1.1 503 Service Unavailable\r\nContent-Length: 0\r\n\r\n";
    struct Case {
        const char* name;
        std::vector<std::string> replies;  // to the server INI's requests, one connection each
        std::vector<int> pauses;
        bool ok;
    };
    const Case cases[] = {
        {"503 three times, then the file",
         {busy, busy, busy, IniReply(kHeader + "FILECOUNT=0\r\n")},
         {1000, 4000, 10000},
         true},
        {"503 four times", {busy, busy, busy, busy}, {1000, 4000, 10000}, false},
        {"502, then the file",
         {"HTTP/1.0 502 Bad Gateway\r\n\r\n", IniReply(kHeader + "FILECOUNT=0\r\n")},
         {1000},
         true},
        {"404", {"HTTP/1.1 404 Not Found\r\nContent-Length: 0\r\n\r\n"}, {}, false},
        {"a framing refusal", {"HTTP/1.1 200 OK\r\nContent-Length: -5\r\n\r\n"}, {}, false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        ScriptedServer server;
        for (const std::string& reply : c.replies) server.Accept().ExpectRequest().Send(reply).Close();
        server.Start();
        pauses.clear();
        RunNonVisual(server.Url("/cfg/"));
        EXPECT_EQ(server.Requests().size(), c.replies.size());
        EXPECT_EQ(pauses, c.pauses);
        EXPECT_EQ(errorUpdating, !c.ok) << LastError();
    }
}

TEST_F(SurvivingDownloads, StopEndsThePauseAtOnce) {
    std::atomic<bool> answered{false};
    ScriptedServer server;
    server.Accept().ExpectRequest().Send("HTTP/1.1 503 Busy\r\nContent-Length: 0\r\n\r\n").Custom([&](int) {
        answered = true;
    });
    server.Close().Start();
    prepare = [&](SiteForm& form) {
        form.RetryPause = nullptr;  // the form's own wait, which keeps taking messages
        form.HTTPFileDownloader().Timeout = 500;
        for (int n = 1; n <= 2000; ++n)
            runtime.AtPump(n, [&form, &answered] {
                if (answered && !form.Stopping()) form.StopBitBtnClick();
            });
    };
    RunNonVisual(server.Url("/cfg/"));
    EXPECT_EQ(server.Requests().size(), 1u) << "tried again after Stop";
    EXPECT_FALSE(errorUpdating) << "the user's stop is no update error";
    const std::string attempt = "TzelCustUpdaterDialogForm.DownloadFile(): attempt 1 of " +
                                server.Url("/cfg/Updater.ini") + " failed: Unable to get file at location: ";
    int attempts = 0;
    for (const auto& line : LogTexts()) attempts += line.rfind(attempt, 0) == 0;
    EXPECT_EQ(attempts, 1);
}

TEST_F(SurvivingDownloads, NoCacheOnExactlyTheServerIniAndItsSignature) {
    TempDir keys;
    PublisherKey key;
    std::string error;
    ASSERT_TRUE(MakePublisherKey(keys.Path(), "publisher", key, error)) << error;
    const std::string tool = "#!/bin/sh\necho tool\n";
    const std::string ini = kHeader +
                            "FILECOUNT=1\r\nFILE0NAME=tool.sh\r\nFILE0VERSION=1.0.0.0\r\nFILE0EXECUTE=NEVER\r\n"
                            "FILE0SHA256=" +
                            Sha(tool) + "\r\n";
    const std::string signed_ini = keys.Write("Updater.ini", ini);
    ASSERT_TRUE(SignWithOpenssl(key, signed_ini, error)) << error;
    const std::string sig = keys.Read("Updater.ini.sig");
    ScriptedServer server;
    server.Accept().ExpectRequest().Send(IniReply(ini)).Close();
    server.Accept().ExpectRequest().Send(IniReply(sig)).Close();
    server.Accept().ExpectRequest().Send(IniReply(tool)).Close();
    server.Start();
    local = "PUBLICKEY=" + key.PublicBase64 + "\r\n";
    RunNonVisual(server.Url("/cfg/"));
    EXPECT_FALSE(errorUpdating) << LastError();
    EXPECT_EQ(dir.Read("tool.sh"), tool);
    const auto requests = server.Requests();
    ASSERT_EQ(requests.size(), 3u);
    const bool expected[] = {true, true, false};
    for (size_t i = 0; i < 3; ++i) {
        SCOPED_TRACE(requests[i].substr(0, requests[i].find('\r')));
        EXPECT_EQ(Has(requests[i], "Pragma: no-cache"), expected[i]);
        EXPECT_EQ(Has(requests[i], "Cache-Control: no-cache"), expected[i]);
    }
}

TEST_F(SurvivingDownloads, AnInstalledCopyWithTheOfferedHashIsNotFetched) {
    const std::string script = "#!/bin/sh\necho collect\n";
    dir.Write("collect-info.sh", script);
    dir.Write("changed.sh", "old");
    struct Case {
        const char* name;
        std::string entry;
        bool fetched;
    };
    const std::string size = std::to_string(script.size());
    const Case cases[] = {
        {"hash and size match", "FILE0SHA256=" + Sha(script) + "\r\nFILE0SIZE=" + size + "\r\n", false},
        {"hash matches, no size", "FILE0SHA256=" + Sha(script) + "\r\n", false},
        {"hash matches, size differs", "FILE0SHA256=" + Sha(script) + "\r\nFILE0SIZE=1\r\n", true},
        {"another hash", "FILE0SHA256=" + Sha("new") + "\r\n", true},
        {"no hash", "", true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        // Version 9: the installed script has no version resource, so by version it is always older.
        const std::string ini =
            kHeader + "FILECOUNT=1\r\nFILE0NAME=collect-info.sh\r\nFILE0VERSION=9.0.0.0\r\n" + c.entry;
        local = "FILE0RAN=TRUE\r\n";  // it ran before: only a download would make it run again
        ScriptedServer server;
        server.Accept().ExpectRequest().Send(IniReply(ini)).Close();
        if (c.fetched)
            server.Accept().ExpectRequest().Send("HTTP/1.0 404 Not Found\r\nContent-Length: 0\r\n\r\n").Close();
        server.Start();
        RunNonVisual(server.Url("/cfg/"));
        EXPECT_EQ(server.Requests().size(), c.fetched ? 2u : 1u);
        EXPECT_EQ(errorUpdating, c.fetched) << LastError();
        if (!c.fetched) {
            EXPECT_TRUE(Logged("No newer version of collect-info.sh is available."));
        }
        EXPECT_EQ(dir.Read("collect-info.sh"), script);
    }
}

}  // namespace
