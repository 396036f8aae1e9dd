#pragma once
// An ordered list of text lines, read as name=value pairs: not sorted, duplicates kept.
// A line's name is the text before its first "=", its value everything after it; neither
// is trimmed. Lookups compare names without regard to case and stop at the first match.
#include <string>
#include <string_view>
#include <vector>

#include "platform/name_index.h"

namespace platform {

enum class TTextEncoding { Ansi, Utf8, Utf16LE, Utf16BE };

// The lines live in one text, each a span of it: a list of 300 000 short lines costs its bytes
// and 8 more per line, where a string per line cost about 60.
class TStringList {
public:
    int Count() const { return int(spans_.size()); }
    bool Empty() const { return spans_.empty(); }
    // A copy of line i (const, so that an assignment to it cannot pass for an edit).
    const std::string operator[](int i) const { return std::string(View(i)); }
    // Line i in place: valid only until the list next changes, which may move its text.
    std::string_view View(int i) const {
        const TLineSpan& s = spans_[size_t(i)];
        return {text_.data() + s.At, s.Size};
    }
    void Set(int Index, std::string_view Line);
    std::vector<std::string> Lines() const;

    void Add(std::string_view Line);
    void Insert(int Index, std::string_view Line);
    void Delete(int Index);
    void Clear();

    // Index of the first line whose name equals Name (any case); -1 when none.
    int IndexOfName(std::string_view Name) const;
    // Index of the first line equal to Line (any case); -1 when none.
    int IndexOf(std::string_view Line) const;
    // The value of the first line named Name, unchanged; empty when none.
    std::string Values(std::string_view Name) const;
    static std::string NameOf(std::string_view Line);
    static std::string ValueOf(std::string_view Line);

    // Every line followed by CR LF.
    std::string Text() const;
    // Replaces the list with the lines of Text, which may end in CR LF, CR or LF.
    void SetText(std::string_view Text);

    // Replaces the list with the file's lines. A UTF-8 or UTF-16 byte-order mark selects that
    // encoding, anything else is read as the ANSI code page. Raises EUpdaterError when the
    // file cannot be read: a missing file leaves the list as it was, a read that fails part
    // of the way leaves it empty.
    void LoadFromFile(const std::string& FileName);
    // Writes every line followed by CR LF in the encoding it was loaded with (with its mark).
    // The file is written beside its target and renamed over it, so a crash or a full disk
    // never leaves a half-written file. Raises EUpdaterError on failure; the old file stays.
    void SaveToFile(const std::string& FileName) const;
    TTextEncoding Encoding() const { return encoding_; }
    // Bytes as they would be saved.
    std::string EncodedText() const;
    // Loads from bytes as LoadFromFile does.
    void LoadFromBytes(std::string_view Bytes);

private:
    // Below this many lines a scan is as quick as the index and needs no memory.
    static constexpr size_t kIndexFrom = 32;
    // A long list looked up only a few times (a server INI asked for one key) is scanned: the
    // index costs several scans to build.
    static constexpr size_t kScansBeforeIndex = 4;
    void BuildIndex() const;
    TLineTexts Texts() const { return {text_.data(), spans_.data(), spans_.size()}; }
    // Line's bytes at the end of the text, where its span will point.
    TLineSpan Append(std::string_view Line);
    // The list becomes the lines of Text from From on; Text is kept as the list's text.
    void Adopt(std::string Text, size_t From);
    void LoadOwned(std::string Bytes);
    // Bytes no line points at any more; the text is written afresh once they are most of it.
    void Forget(const TLineSpan& Span);

    std::string text_;
    std::vector<TLineSpan> spans_;
    size_t unused_ = 0;
    // Where each name first stands. Built at the first lookup by name in a long list, kept up
    // to date by Add and Delete, rebuilt after any other change.
    mutable TNameIndex index_;
    mutable bool indexed_ = false;
    mutable size_t scans_ = 0;  // lookups by name that scanned since the list was filled
    TTextEncoding encoding_ = TTextEncoding::Ansi;
};

}  // namespace platform
