#include "http/http_reply.h"

#include "platform/codepage.h"
#include "platform/strconv.h"

using namespace platform;

namespace http {

TStatusLine ParseStatusLine(std::string_view Value) {
    TStatusLine st;
    const std::string s = Trim(SeparateRight(Value, " "));
    st.Code = StrToIntDef(Trim(SeparateLeft(s, " ")), 0);
    const std::string reason = Trim(SeparateRight(s, " "));
    if (reason != s) st.Reason = reason;
    return st;
}

bool IsStatusLine(std::string_view Line) { return StartsText("HTTP/", Line); }

namespace {
bool IsContinuation(const std::string& Line) {
    if (Line.empty()) return false;
    const char c = Line[0];
    return c == ' ' || c == '\t' || c == '"' || c == ':' || c == '=';
}
}  // namespace

std::vector<std::string> FoldHeaderLines(const std::vector<std::string>& Lines) {
    std::vector<std::string> out;
    out.reserve(Lines.size());
    for (size_t i = 0; i < Lines.size(); ++i) {
        std::string line = Lines[i];
        while (i + 1 < Lines.size() && IsContinuation(Lines[i + 1])) {
            std::string next = Lines[++i];
            for (char& c : next)
                if (c == '\t') c = ' ';
            line += ' ';
            line += Trim(next);
        }
        out.push_back(TrimRight(line));
    }
    return out;
}

void ApplyHeaderLine(TReplyFraming& Framing, std::string_view Line, bool ViaProxy) {
    const std::string upper = UpperCase(Line);
    const std::string value = Trim(SeparateRight(Line, ":"));
    if (upper.starts_with("CONTENT-LENGTH:")) {
        int64_t n;
        Framing.DeclaredLength = TryStrToInt64(value, n) ? n : -1;
        if (Framing.DeclaredLength != -1 && Framing.Encoding == TE_UNKNOWN) Framing.Encoding = TE_IDENTITY;
    } else if (upper.starts_with("CONTENT-TYPE:")) {
        Framing.MimeType = value;
    } else if (upper.starts_with("TRANSFER-ENCODING:")) {
        if (UpperCase(value).find("CHUNKED") != std::string::npos) Framing.Encoding = TE_CHUNKED;
    }
    if (upper.starts_with(ViaProxy ? "PROXY-CONNECTION:" : "CONNECTION:") && upper.find("CLOSE") != std::string::npos)
        Framing.CloseAfter = true;
}

int64_t ParseChunkSize(std::string_view Line) {
    const std::string text = Trim(SeparateLeft(SeparateLeft(Line, " "), ";"));
    if (text.empty()) return -1;
    uint64_t value = 0;
    for (char c : text) {
        int d;
        if (c >= '0' && c <= '9')
            d = c - '0';
        else if (c >= 'a' && c <= 'f')
            d = c - 'a' + 10;
        else if (c >= 'A' && c <= 'F')
            d = c - 'A' + 10;
        else
            return -1;
        if (value > uint64_t(INT64_MAX) / 16) return -1;
        value = value * 16 + uint64_t(d);
    }
    return value > uint64_t(INT64_MAX) ? -1 : int64_t(value);
}

THeadResult ReadReplyHead(const TLineSource& NextLine, bool ViaProxy, bool Http11, TReplyHead& Head) {
    size_t total = 0;
    std::string raw;
    // Every line read counts against the head's bound, blank ones and interim replies too, so
    // a peer that never ends its head costs time (the receive time-out) but no memory.
    auto next = [&](THeadResult& failure) {
        if (!NextLine(raw)) {
            failure = THeadResult::SourceFailed;
            return false;
        }
        total += raw.size() + 2;
        if (raw.size() > kMaxReplyLine || total > kMaxReplyHead) {
            failure = THeadResult::TooLarge;
            return false;
        }
        return true;
    };
    THeadResult failure = THeadResult::Ok;

    do {
        do {
            if (!next(failure)) return failure;
        } while (raw.empty());
        if (IsStatusLine(raw)) {
            std::string line = AnsiToUtf8(raw);
            const TStatusLine st = ParseStatusLine(line);
            Head.ResultCode = st.Code;
            Head.ResultString = st.Reason;
            Head.Lines.push_back(std::move(line));
            Head.HasStatusLine = true;
        } else {
            Head.BodyPrefix = raw + "\r\n";
            Head.ResultCode = 0;
        }
    } while (Head.ResultCode == 100);

    Head.Framing.CloseAfter = !Http11;
    if (!Head.HasStatusLine) return THeadResult::Ok;

    std::vector<std::string> lines;
    do {
        if (!next(failure)) return failure;
        lines.push_back(AnsiToUtf8(raw));
    } while (!raw.empty());
    for (std::string& line : FoldHeaderLines(lines)) {
        ApplyHeaderLine(Head.Framing, line, ViaProxy);
        Head.Lines.push_back(std::move(line));
    }
    return THeadResult::Ok;
}

}  // namespace http
