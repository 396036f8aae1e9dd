#pragma once
// Reading the head of an HTTP reply (status line, interim replies, header lines) and the
// chunk-size lines of a chunked body. Pure functions over received lines, so the socket is
// not needed to exercise them.
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/string_list.h"

enum TTransferEncoding { TE_UNKNOWN, TE_IDENTITY, TE_CHUNKED };

namespace http {

// Bounds of a reply head. A peer cannot make the client hold more than this before the body.
constexpr size_t kMaxReplyLine = 64 * 1024;
constexpr size_t kMaxReplyHead = 1024 * 1024;

struct TStatusLine {
    int Code = 0;
    std::string Reason;
};
// "HTTP/1.1 200 OK" -> 200, "OK"; a code that is not a number gives 0; no reason phrase gives "".
TStatusLine ParseStatusLine(std::string_view Value);
// Whether a received line starts a reply ("HTTP/" in any case).
bool IsStatusLine(std::string_view Line);

// Joins continuation lines (those beginning with a blank, a tab, a double quote, ":" or "=")
// to the line before them and trims every result on the right.
std::vector<std::string> FoldHeaderLines(const std::vector<std::string>& Lines);

// What the header lines say about the body and the connection.
struct TReplyFraming {
    int64_t DeclaredLength = -1;
    TTransferEncoding Encoding = TE_UNKNOWN;
    bool CloseAfter = true;
    std::string MimeType = "text/html";
};
// Applies one folded header line. ViaProxy selects "Proxy-Connection:" over "Connection:".
void ApplyHeaderLine(TReplyFraming& Framing, std::string_view Line, bool ViaProxy);

// The size on a chunk-size line: the text before the first blank, then before the first ";",
// trimmed, read as hexadecimal; -1 when it is not a hexadecimal number that fits 63 bits (a
// size misread as 0 would end the body early and pass a cut file as whole).
int64_t ParseChunkSize(std::string_view Line);

// The head of a reply as read from a line source.
struct TReplyHead {
    std::vector<std::string> Lines;  // status lines and header lines, decoded from ANSI
    bool HasStatusLine = false;
    int ResultCode = 500;  // stays 500 when nothing was decoded
    std::string ResultString;
    std::string BodyPrefix;  // a reply without a status line: its first line + CR LF
    TReplyFraming Framing;
};

enum class THeadResult { Ok, SourceFailed, TooLarge };

// Yields the next received line (raw bytes, without its line end); false when the source
// failed (socket error), in which case Line is ignored.
using TLineSource = std::function<bool(std::string& Line)>;

// Reads the status line (skipping empty lines and interim 1xx-continue replies) and, after a
// status line, the header lines up to and including the empty line. Http11 keeps the
// connection open unless the reply says close. A line above kMaxReplyLine or a head above
// kMaxReplyHead ends with TooLarge.
THeadResult ReadReplyHead(const TLineSource& NextLine, bool ViaProxy, bool Http11, TReplyHead& Head);

}  // namespace http
