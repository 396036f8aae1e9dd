#include "platform/string_list.h"

#include "platform/codepage.h"
#include "platform/errors.h"
#include "platform/file_utils.h"
#include "platform/strconv.h"

namespace platform {

void TStringList::BuildIndex() const {
    index_.clear();
    index_.reserve(lines_.size());
    for (size_t i = 0; i < lines_.size(); ++i) {
        const size_t eq = lines_[i].find('=');
        if (eq != std::string::npos)
            ++index_.try_emplace(UpperCase(std::string_view(lines_[i]).substr(0, eq)), TNameEntry{int(i), 0})
                  .first->second.Count;
    }
    indexed_ = true;
}

void TStringList::Add(std::string Line) {
    if (indexed_) {
        // An earlier line of the same name keeps winning: only the count grows.
        const size_t eq = Line.find('=');
        if (eq != std::string::npos)
            ++index_.try_emplace(UpperCase(std::string_view(Line).substr(0, eq)), TNameEntry{int(lines_.size()), 0})
                  .first->second.Count;
    }
    lines_.push_back(std::move(Line));
}

void TStringList::Delete(int Index) {
    if (indexed_) {
        // Deleting and appending a key is how a value is set; rebuilding the index for each
        // would make a long list's updates quadratic.
        const std::string& line = lines_[size_t(Index)];
        const size_t eq = line.find('=');
        auto it = eq == std::string::npos ? index_.end() : index_.find(UpperCase(std::string_view(line).substr(0, eq)));
        if (it != index_.end() && --it->second.Count == 0) index_.erase(it), it = index_.end();
        for (auto& entry : index_)
            if (entry.second.First > Index) --entry.second.First;
        if (it != index_.end() && it->second.First == Index) {
            // The deleted line was the first of its name: the next one of that name moves up.
            const std::string_view name = std::string_view(line).substr(0, eq);
            for (size_t i = size_t(Index) + 1; i < lines_.size(); ++i) {
                const size_t e = lines_[i].find('=');
                if (e != std::string::npos && SameText(std::string_view(lines_[i]).substr(0, e), name)) {
                    it->second.First = int(i) - 1;
                    break;
                }
            }
        }
    }
    lines_.erase(lines_.begin() + Index);
}

int TStringList::IndexOfName(std::string_view Name) const {
    if (lines_.size() >= kIndexFrom) {
        if (!indexed_) BuildIndex();
        const auto it = index_.find(UpperCase(Name));
        return it == index_.end() ? -1 : it->second.First;
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
        SetText(AnsiToUtf8(Bytes));
    }
}

void TStringList::LoadFromFile(const std::string& FileName) { LoadFromBytes(ReadFileBytes(FileName)); }

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
