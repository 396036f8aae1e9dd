// Multipart uploads: the body bytes for a boundary read back from the request's content type.
#include <gtest/gtest.h>

#include <regex>

#include "http/zel_http_send.h"
#include "platform/errors.h"
#include "tests/http/sender_fixtures.h"
#include "tests/support/scripted_server.h"
#include "tests/support/temp_dir.h"

using namespace http;
using namespace platform;

namespace {

struct Posted {
    std::string boundary;
    std::string body;
};

// Splits a received request into its boundary and body; fails the test when the content
// type is not the multipart one.
Posted ParseMultipart(const std::string& request) {
    Posted p;
    const std::string ct = "\r\nContent-Type: multipart/form-data; boundary=";
    const size_t at = request.find(ct);
    EXPECT_NE(at, std::string::npos) << request;
    if (at == std::string::npos) return p;
    p.boundary = request.substr(at + ct.size(), request.find("\r\n", at + ct.size()) - at - ct.size());
    p.body = request.substr(request.find("\r\n\r\n") + 4);
    return p;
}

std::string FilePart(const std::string& b, const std::string& field, const std::string& name) {
    return "--" + b + "\r\ncontent-disposition: form-data; name=\"" + field + "\"; filename=\"" + name +
           "\"\r\nContent-Type: Application/octet-string\r\n\r\n";
}

class SenderMultipart : public ::testing::Test {
protected:
    FakeProxyServices os;
    ScopedOSServices use{os};
};

TEST_F(SenderMultipart, FilePartBytes) {
    struct Case {
        const char* name;
        std::string fileName;
        std::string data;
        std::string wireName;
    };
    const Case cases[] = {
        {"Windows path, data shorter than the header", "C:\\dir\\a.txt", "xyz", "a.txt"},
        {"POSIX path", "/srv/up/report.log", "12345", "report.log"},
        {"drive only", "D:b.bin", std::string("\0\r\n--", 5), "b.bin"},
        {"empty data", "empty.txt", "", "empty.txt"},
        {"name in the ANSI code page", "c:\\r\xC3\xA9sum\xC3\xA9.txt", "x", "r\xE9sum\xE9.txt"},
        {"data above one write", "big.bin", std::string(200000, 'q'), "big.bin"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        ScriptedServer server;
        server.Accept().ExpectRequest().Send(Reply200("done\r\nok")).Close().Start();
        TzelHttpSend http;
        TMemoryStream data;
        data.Write(c.data.data(), c.data.size());  // left at its end: the upload starts at 0
        TStringList result;
        ASSERT_TRUE(http.PostFile(server.Url("/upload"), "file", c.fileName, data, result));
        const Posted p = ParseMultipart(server.Request(0));
        EXPECT_TRUE(std::regex_match(p.boundary, std::regex("[0-9A-F]{8}_zelHTTP_boundary"))) << p.boundary;
        EXPECT_LT(std::stoul(p.boundary.substr(0, 8), nullptr, 16), 268435447ul);
        EXPECT_EQ(p.body, FilePart(p.boundary, "file", c.wireName) + c.data + "\r\n--" + p.boundary + "--\r\n");
        EXPECT_EQ(result.Text(), "done\r\nok\r\n");
    }
}

TEST_F(SenderMultipart, FormFieldsGoFirstInTheirOrder) {
    ScriptedServer server;
    server.Accept().ExpectRequest().Send(Reply200("ok")).Close().Start();
    TzelHttpSend http;
    TMemoryStream data;
    data.Write("xyz", 3);
    TStringList result;
    const TFormFields fields = {{"zname", "Zo\xC3\xAB"}, {"a", "1"}, {"empty", ""}};
    ASSERT_TRUE(http.PostFile(server.Url("/u"), "file", "a.txt", fields, data, result));
    const Posted p = ParseMultipart(server.Request(0));
    const std::string field = "--" + p.boundary + "\r\ncontent-disposition: form-data; name=\"";
    EXPECT_EQ(p.body, field + "zname\"\r\n\r\nZo\xEB\r\n" + field + "a\"\r\n\r\n1\r\n" + field + "empty\"\r\n\r\n\r\n" +
                          FilePart(p.boundary, "file", "a.txt") + "xyz\r\n--" + p.boundary + "--\r\n");
}

TEST_F(SenderMultipart, BoundariesDiffer) {
    // Two uploads drawing the same 28-bit number would be a broken generator.
    EXPECT_NE(MakeMultipartBoundary(268435447u), MakeMultipartBoundary(268435447u));
    EXPECT_EQ(MakeMultipartBoundary(1u), "00000000_zelHTTP_boundary");
}

// The file form goes through a plain transport: no proxy lookup, no events, and the file
// name exactly as passed.
TEST_F(SenderMultipart, FileFormUploadsThroughAPlainTransport) {
    TempDir dir;
    dir.Write("up.bin", "payload");
    ScriptedServer server;
    server.Accept().ExpectRequest().Send(Reply200("stored")).Close().Start();
    os.Text.ProxyServer = "127.0.0.1:1";  // would be refused if it were looked up
    TzelHttpSend http;
    EventLog log;
    log.Attach(http);
    TStringList result;
    std::string err = "untouched";
    ASSERT_TRUE(http.PostFile(server.Url("/u"), "doc", dir.File("up.bin"), result, err));
    EXPECT_EQ(err, "untouched");
    EXPECT_EQ(result.Text(), "stored\r\n");
    EXPECT_EQ(os.Lookups, 0);
    EXPECT_TRUE(log.Events.empty());
    const Posted p = ParseMultipart(server.Request(0));
    EXPECT_TRUE(std::regex_match(p.boundary, std::regex("[0-9A-F]{8}_zelHTTP_boundary"))) << p.boundary;
    EXPECT_EQ(p.body, FilePart(p.boundary, "doc", dir.File("up.bin")) + "payload\r\n--" + p.boundary + "--\r\n");
}

TEST_F(SenderMultipart, FileFormFailures) {
    TempDir dir;
    TzelHttpSend http;
    TStringList result;
    std::string err;
    // A file that cannot be opened: the open failure propagates.
    try {
        http.PostFile("http://127.0.0.1:1/u", "doc", dir.File("missing.bin"), result, err);
        FAIL() << "no exception";
    } catch (const EUpdaterError& e) {
        EXPECT_EQ(std::string(e.what()).rfind("Cannot open file \"" + dir.File("missing.bin") + "\".", 0), 0u)
            << e.what();
    }
    // A refused connection: the plain transport answers false rather than raising.
    dir.Write("up.bin", "payload");
    EXPECT_FALSE(http.PostFile("http://127.0.0.1:1/u", "doc", dir.File("up.bin"), result, err));
}

}  // namespace
