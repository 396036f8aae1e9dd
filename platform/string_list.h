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

class TStringList {
public:
    int Count() const { return int(lines_.size()); }
    bool Empty() const { return lines_.empty(); }
    const std::string& operator[](int i) const { return lines_[size_t(i)]; }
    // The line may be changed through the reference, so the name index starts afresh.
    std::string& operator[](int i) {
        indexed_ = false;
        return lines_[size_t(i)];
    }
    const std::vector<std::string>& Lines() const { return lines_; }

    void Add(std::string Line);
    void Insert(int Index, std::string Line) {
        indexed_ = false;
        lines_.insert(lines_.begin() + Index, std::move(Line));
    }
    void Delete(int Index);
    void Clear() {
        indexed_ = false;
        index_.Clear();
        lines_.clear();
    }

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
    void BuildIndex() const;

    std::vector<std::string> lines_;
    // Where each name first stands. Built at the first lookup by name in a long list, kept up
    // to date by Add and Delete, rebuilt after any other change.
    mutable TNameIndex index_;
    mutable bool indexed_ = false;
    TTextEncoding encoding_ = TTextEncoding::Ansi;
};

}  // namespace platform
