// Feeds arbitrary bytes to the reply head parser as the socket would hand them over: split
// into lines at CR LF, LF CR, CR or LF. What follows the head is read as chunk-size lines.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include "http/cookie_jar.h"
#include "http/http_reply.h"
#include "platform/string_list.h"

using namespace http;
using namespace platform;

namespace {
std::vector<std::string> SplitLines(std::string_view in) {
    std::vector<std::string> lines;
    size_t start = 0, i = 0;
    while (i < in.size()) {
        const char c = in[i];
        if (c != '\r' && c != '\n') {
            ++i;
            continue;
        }
        lines.emplace_back(in.substr(start, i - start));
        ++i;
        if (i < in.size() && (in[i] == '\r' || in[i] == '\n') && in[i] != c) ++i;
        start = i;
    }
    if (start < in.size()) lines.emplace_back(in.substr(start));
    return lines;
}
}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::vector<std::string> lines = SplitLines(std::string_view(reinterpret_cast<const char*>(data), size));
    size_t next = 0;
    const bool viaProxy = size > 0 && (data[0] & 1), http11 = size > 0 && (data[0] & 2);
    TReplyHead head;
    const THeadResult result = ReadReplyHead(
        [&](std::string& line) {
            if (next >= lines.size()) return false;
            line = lines[next++];
            return true;
        },
        viaProxy, http11, head);

    // The head never holds more than its bound (decoding may at most triple a byte).
    size_t held = head.BodyPrefix.size();
    for (const std::string& l : head.Lines) held += l.size();
    if (held > 3 * kMaxReplyHead + 8) abort();
    if (result == THeadResult::Ok && head.HasStatusLine && (head.Lines.empty() || !head.Lines.back().empty()))
        abort();  // a complete head ends with its empty line
    if (head.Framing.Encoding == TE_UNKNOWN && head.Framing.DeclaredLength != -1) abort();

    TStringList headers;
    for (const std::string& l : head.Lines) headers.Add(l);
    TCookieJar jar;
    jar.Update("host", viaProxy, headers);
    for (const TCookie& c : jar.Items()) {
        if (c.Value.empty()) abort();        // an empty value removes, never stores
        if (c.Secure && !viaProxy) abort();  // a Secure cookie over plain http is not kept
    }
    for (; next < lines.size(); ++next)
        if (ParseChunkSize(lines[next]) < -1) abort();  // a size, or -1 for none
    return 0;
}
