#include "platform/string_list.h"

#include <algorithm>

#include "platform/codepage.h"
#include "platform/errors.h"
#include "platform/file_utils.h"
#include "platform/strconv.h"

namespace platform {

void TStringList::BuildIndex() const {
    index_.Build(Texts());
    indexed_ = true;
}

TLineSpan TStringList::Append(std::string_view Line) {
    if (text_.size() + Line.size() > UINT32_MAX) throw EUpdaterError("The list is longer than 4 GiB.");
    const TLineSpan span{uint32_t(text_.size()), uint32_t(Line.size())};
    // A view into this very list's text would move with it as the text grows.
    if (!Line.empty() && Line.data() >= text_.data() && Line.data() < text_.data() + text_.size())
        text_.append(std::string(Line));
    else
        text_.append(Line);
    return span;
}

void TStringList::Forget(const TLineSpan& Span) {
    unused_ += Span.Size;
    if (unused_ < 4096 || unused_ * 2 < text_.size()) return;
    std::string text;
    text.reserve(text_.size() - unused_);
    for (TLineSpan& s : spans_) {
        const std::string_view line(text_.data() + s.At, s.Size);
        s.At = uint32_t(text.size());
        text.append(line);
    }
    text_ = std::move(text);
    unused_ = 0;
}

void TStringList::Set(int Index, std::string_view Line) {
    indexed_ = false;
    const TLineSpan old = spans_[size_t(Index)];
    spans_[size_t(Index)] = Append(Line);
    Forget(old);
}

std::vector<std::string> TStringList::Lines() const {
    std::vector<std::string> lines;
    lines.reserve(spans_.size());
    for (size_t i = 0; i < spans_.size(); ++i) lines.emplace_back(View(int(i)));
    return lines;
}

void TStringList::Add(std::string_view Line) {
    spans_.push_back(Append(Line));
    if (indexed_) index_.Appended(Texts(), spans_.size() - 1);
}

void TStringList::Insert(int Index, std::string_view Line) {
    indexed_ = false;
    const TLineSpan span = Append(Line);
    spans_.insert(spans_.begin() + Index, span);
}

void TStringList::Delete(int Index) {
    // Deleting and appending a key is how a value is set; rebuilding the index for each would
    // make a long list's updates quadratic.
    if (indexed_) index_.Erasing(Texts(), size_t(Index));
    const TLineSpan old = spans_[size_t(Index)];
    spans_.erase(spans_.begin() + Index);
    Forget(old);
}

void TStringList::Clear() {
    indexed_ = false;
    scans_ = 0;
    index_.Clear();
    // The room goes too: a long list loaded again would otherwise be held twice.
    std::string().swap(text_);
    std::vector<TLineSpan>().swap(spans_);
    unused_ = 0;
}

int TStringList::IndexOfName(std::string_view Name) const {
    if (spans_.size() >= kIndexFrom && (indexed_ || ++scans_ > kScansBeforeIndex)) {
        if (!indexed_) BuildIndex();
        return index_.Find(Texts(), Name);
    }
    for (size_t i = 0; i < spans_.size(); ++i) {
        const std::string_view line = View(int(i));
        const size_t eq = line.find('=');
        if (eq != std::string_view::npos && SameText(line.substr(0, eq), Name)) return int(i);
    }
    return -1;
}

int TStringList::IndexOf(std::string_view Line) const {
    for (size_t i = 0; i < spans_.size(); ++i)
        if (SameText(View(int(i)), Line)) return int(i);
    return -1;
}

std::string TStringList::NameOf(std::string_view Line) {
    const size_t eq = Line.find('=');
    return eq == std::string_view::npos ? std::string() : std::string(Line.substr(0, eq));
}

std::string TStringList::ValueOf(std::string_view Line) {
    const size_t eq = Line.find('=');
    return eq == std::string_view::npos ? std::string() : std::string(Line.substr(eq + 1));
}

std::string TStringList::Values(std::string_view Name) const {
    const int i = IndexOfName(Name);
    return i < 0 ? std::string() : ValueOf(View(i));
}

std::string TStringList::Text() const {
    std::string out;
    out.reserve(text_.size() - unused_ + 2 * spans_.size());
    for (size_t i = 0; i < spans_.size(); ++i) out.append(View(int(i))).append("\r\n");
    return out;
}

namespace {
// Where the line that starts at From ends: at a CR, an LF or the end. A loop of its own, as a
// search for either of two bytes tries both at every byte of a long text.
size_t LineEnd(std::string_view Text, size_t From) {
    const char* p = Text.data() + From;
    const char* end = Text.data() + Text.size();
    while (p < end && *p != '\n' && *p != '\r') ++p;
    return size_t(p - Text.data());
}
// Past the line break at End: CR LF counts as one.
size_t NextLine(std::string_view Text, size_t End) {
    return End + ((Text[End] == '\r' && End + 1 < Text.size() && Text[End + 1] == '\n') ? 2 : 1);
}
}  // namespace

void TStringList::Adopt(std::string Text, size_t From) {
    Clear();
    if (Text.size() > UINT32_MAX) throw EUpdaterError("The list is longer than 4 GiB.");
    const std::string_view t(Text);
    // One allocation of the right size for the spans; the lines stay where the text has them.
    size_t count = 0;
    for (size_t at = From; at < t.size(); ++count) {
        const size_t end = LineEnd(t, at);
        at = end == t.size() ? end : NextLine(t, end);
    }
    spans_.reserve(count);
    for (size_t start = From; start < t.size();) {
        const size_t end = LineEnd(t, start);
        spans_.push_back({uint32_t(start), uint32_t(end - start)});
        start = end == t.size() ? end : NextLine(t, end);
    }
    // The line breaks (and a byte-order mark) are bytes no line points at.
    unused_ = Text.size();
    for (const TLineSpan& span : spans_) unused_ -= span.Size;
    text_ = std::move(Text);
}

void TStringList::SetText(std::string_view Text) { Adopt(std::string(Text), 0); }

void TStringList::LoadOwned(std::string Bytes) {
    const std::string_view b(Bytes);
    if (b.substr(0, 3) == "\xEF\xBB\xBF") {
        encoding_ = TTextEncoding::Utf8;
        Adopt(std::move(Bytes), 3);
    } else if (b.substr(0, 2) == "\xFF\xFE") {
        encoding_ = TTextEncoding::Utf16LE;
        Adopt(Utf16ToUtf8(b.substr(2), false), 0);
    } else if (b.substr(0, 2) == "\xFE\xFF") {
        encoding_ = TTextEncoding::Utf16BE;
        Adopt(Utf16ToUtf8(b.substr(2), true), 0);
    } else {
        encoding_ = TTextEncoding::Ansi;
        // Text in plain ASCII reads the same in both: the file's bytes become the list's text.
        const bool ascii = std::all_of(b.begin(), b.end(), [](char c) { return (c & 0x80) == 0; });
        if (ascii)
            Adopt(std::move(Bytes), 0);
        else
            Adopt(AnsiToUtf8(b), 0);
    }
}

void TStringList::LoadFromBytes(std::string_view Bytes) { LoadOwned(std::string(Bytes)); }

void TStringList::LoadFromFile(const std::string& FileName) {
    // The old lines go before the file is read: a long list loaded again would otherwise be
    // held twice, with the file's bytes beside it. A file that is not there changes nothing.
    if (FileSize(FileName) >= 0) Clear();
    LoadOwned(ReadFileBytes(FileName));
}

std::string TStringList::EncodedText() const {
    const std::string text = Text();
    switch (encoding_) {
    case TTextEncoding::Utf8: return "\xEF\xBB\xBF" + text;
    case TTextEncoding::Utf16LE: return "\xFF\xFE" + Utf8ToUtf16(text, false);
    case TTextEncoding::Utf16BE: return "\xFE\xFF" + Utf8ToUtf16(text, true);
    case TTextEncoding::Ansi: break;
    }
    return Utf8ToAnsi(text);
}

void TStringList::SaveToFile(const std::string& FileName) const { WriteFileAtomically(FileName, EncodedText()); }

}  // namespace platform
