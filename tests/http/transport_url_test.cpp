// URL splitting and credential decoding.
#include <gtest/gtest.h>

#include "http/url.h"

using namespace http;

namespace {
struct UrlCase {
    const char* url;
    const char *protocol, *user, *password, *host, *port, *path, *query, *target;
};

const UrlCase kUrls[] = {
    {"http://host", "http", "", "", "host", "80", "/", "", "/"},
    {"http://host:8080/a/b?x=1", "http", "", "", "host", "8080", "/a/b", "x=1", "/a/b?x=1"},
    {"https://host/", "https", "", "", "host", "443", "/", "", "/"},
    {"HTTPS://host/x", "HTTPS", "", "", "host", "443", "/x", "", "/x"},
    {"ftp://host/f.txt", "ftp", "", "", "host", "21", "/f.txt", "", "/f.txt"},
    {"host/a", "http", "", "", "host", "80", "/a", "", "/a"},
    {"", "http", "", "", "localhost", "80", "/", "", "/"},
    {"http:///p", "http", "", "", "localhost", "80", "/p", "", "/p"},
    {"http://u:p@host/x", "http", "u", "p", "host", "80", "/x", "", "/x"},
    {"http://u@host", "http", "u", "", "host", "80", "/", "", "/"},
    {"http://u:p:q@host:81/", "http", "u", "p:q", "host", "81", "/", "", "/"},
    // An "@" after the first "/" belongs to the path, not to credentials.
    {"http://host/a@b", "http", "", "", "host", "80", "/a@b", "", "/a@b"},
    {"http://[::1]:8080/x?y", "http", "", "", "::1", "8080", "/x", "y", "/x?y"},
    {"http://[fe80::1]/", "http", "", "", "fe80::1", "80", "/", "", "/"},
    {"https://u:p@[::1]/", "https", "u", "p", "::1", "443", "/", "", "/"},
    {"http://host/a?b?c", "http", "", "", "host", "80", "/a", "b?c", "/a?b?c"},
    {"http://host?q", "http", "", "", "host?q", "80", "/", "", "/"},
    {"http://host/*", "http", "", "", "host", "80", "/*", "", "/*"},
    {"http://host:/x", "http", "", "", "host", "", "/x", "", "/x"},
    // Blanks and control characters never reach the request line raw.
    {"http://host/a/ B.ini", "http", "", "", "host", "80", "/a/ B.ini", "", "/a/%20B.ini"},
    {"http://host/a\tb?c d\r\nX: y\x7F", "http", "", "", "host", "80", "/a\tb", "c d\r\nX: y\x7F",
     "/a%09b?c%20d%0D%0AX:%20y%7F"},
    {"http://host/caf\xC3\xA9/", "http", "", "", "host", "80", "/caf\xC3\xA9/", "", "/caf\xC3\xA9/"},
};

TEST(SplitUrl, SplitsEveryPart) {
    for (const UrlCase& c : kUrls) {
        SCOPED_TRACE(c.url);
        const TUrlParts u = SplitUrl(c.url);
        EXPECT_EQ(u.Protocol, c.protocol);
        EXPECT_EQ(u.User, c.user);
        EXPECT_EQ(u.Password, c.password);
        EXPECT_EQ(u.Host, c.host);
        EXPECT_EQ(u.Port, c.port);
        EXPECT_EQ(u.Path, c.path);
        EXPECT_EQ(u.Query, c.query);
        EXPECT_EQ(u.Target, c.target);
    }
}

TEST(DecodeUrlText, DecodesPercentEscapes) {
    const struct {
        const char *in, *out;
    } cases[] = {
        {"plain", "plain"},     {"a%20b", "a b"},
        {"p%3Aw%40d", "p:w@d"}, {"%c3%a9", "\xc3\xa9"},  // UTF-8 for e-acute stays UTF-8
        {"%E9", "\xc3\xa9"},                             // a lone Windows-1252 byte is read as that code page
        {"100%", "100%"},                                // broken escapes stay as written
        {"%zz%4", "%zz%4"},     {"%%41", "%A"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.in);
        EXPECT_EQ(DecodeUrlText(c.in), c.out);
    }
}
}  // namespace
