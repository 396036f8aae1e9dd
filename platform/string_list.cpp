#include "platform/string_list.h"

#include <algorithm>

#include "platform/codepage.h"
#include "platform/errors.h"
#include "platform/file_utils.h"
#include "platform/strconv.h"

namespace platform {

void TStringList::BuildIndex() const {
    index_.Build(lines_);
    indexed_ = true;
}

void TStringList::Add(std::string Line) {
    lines_.push_back(std::move(Line));
    if (indexed_) index_.Appended(lines_, lines_.size() - 1);
}

void TStringList::Delete(int Index) {
    // Deleting and appending a key is how a value is set; rebuilding the index for each would
    // make a long list's updates quadratic.
    if (indexed_) index_.Erasing(lines_, size_t(Index));
    lines_.erase(lines_.begin() + Index);
}

int TStringList::IndexOfName(std::string_view Name) const {
    if (lines_.size() >= kIndexFrom) {
        if (!indexed_) BuildIndex();
        return index_.Find(lines_, Name);
    }
    for (size_t i = 0; i < lines_.size(); ++i) {
        const size_t eq = lines_[i].find('=');
        if (eq != std::string::npos && SameText(std::string_view(lines_[i]).substr(0, eq), Name)) return int(i);
    }
    return -1;
}

int TStringList::IndexOf(std::string_view Line) const {
    for (size_t i = 0; i < lines_.size(); ++i)
        if (SameText(lines_[i], Line)) return int(i);
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
    return i < 0 ? std::string() : ValueOf(lines_[size_t(i)]);
}

std::string TStringList::Text() const {
    std::string out;
    for (const auto& l : lines_) out.append(l).append("\r\n");
    return out;
}

void TStringList::SetText(std::string_view Text) {
    Clear();
    // One allocation of the right size: a list of 100 000 entries would otherwise keep up to
    // twice the room its lines need.
    size_t count = 0;
    for (size_t at = 0; at < Text.size(); ++count) {
        const size_t end = Text.find_first_of("\r\n", at);
        if (end == std::string_view::npos) at = Text.size();
        else at = end + ((Text[end] == '\r' && end + 1 < Text.size() && Text[end + 1] == '\n') ? 2 : 1);
    }
    lines_.shrink_to_fit();
    lines_.reserve(count);
    size_t start = 0;
    while (start < Text.size()) {
        size_t end = Text.find_first_of("\r\n", start);
        if (end == std::string_view::npos) {
            lines_.emplace_back(Text.substr(start));
            break;
        }
        lines_.emplace_back(Text.substr(start, end - start));
        start = end + ((Text[end] == '\r' && end + 1 < Text.size() && Text[end + 1] == '\n') ? 2 : 1);
    }
}

void TStringList::LoadFromBytes(std::string_view Bytes) {
    if (Bytes.substr(0, 3) == "\xEF\xBB\xBF") {
        encoding_ = TTextEncoding::Utf8;
        SetText(Bytes.substr(3));
    } else if (Bytes.substr(0, 2) == "\xFF\xFE") {
        encoding_ = TTextEncoding::Utf16LE;
        SetText(Utf16ToUtf8(Bytes.substr(2), false));
    } else if (Bytes.substr(0, 2) == "\xFE\xFF") {
        encoding_ = TTextEncoding::Utf16BE;
        SetText(Utf16ToUtf8(Bytes.substr(2), true));
    } else {
        encoding_ = TTextEncoding::Ansi;
        // Text in plain ASCII reads the same in both: no copy of a large file is needed.
        const bool ascii = std::all_of(Bytes.begin(), Bytes.end(), [](char c) { return (c & 0x80) == 0; });
        if (ascii)
            SetText(Bytes);
        else
            SetText(AnsiToUtf8(Bytes));
    }
}

void TStringList::LoadFromFile(const std::string& FileName) {
    // The old lines go before the file is read: a long list loaded again would otherwise be
    // held twice, with the file's bytes beside it. A file that is not there changes nothing.
    if (FileSize(FileName) >= 0) {
        Clear();
        lines_.shrink_to_fit();
    }
    LoadFromBytes(ReadFileBytes(FileName));
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
