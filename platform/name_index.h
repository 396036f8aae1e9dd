#pragma once
// The name index of a long name=value list: the first line of each name (any case). An
// open-addressed table of one 64-bit slot per name, which holds the line's number and a part
// of its name's hash; the names themselves stay in the lines. A list of 300 000 lines costs
// a few megabytes of index where a map of name copies cost tens, and a lookup touches one or
// two slots and the line it finds.
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace platform {

// Where one line stands in the text that holds a list's lines.
struct TLineSpan {
    uint32_t At = 0, Size = 0;
};

// A list's lines as the index reads them: views into one text, valid until the list changes.
struct TLineTexts {
    const char* Text = nullptr;
    const TLineSpan* Spans = nullptr;
    size_t Count = 0;
    size_t size() const { return Count; }
    std::string_view operator[](size_t i) const { return {Text + Spans[i].At, Spans[i].Size}; }
};

class TNameIndex {
public:
    using TLines = TLineTexts;

    void Build(const TLines& Lines);
    void Clear();
    // The first line named Name (any case); -1 when none.
    int Find(const TLines& Lines, std::string_view Name) const;
    // Lines[Line], the last line, was just appended.
    void Appended(const TLines& Lines, size_t Line);
    // Lines[Line] is about to be erased: the lines after it move up by one.
    void Erasing(const TLines& Lines, size_t Line);

private:
    static uint64_t Hash(std::string_view Name);
    // The slot of Name: the one that holds it, or the empty one where it would go.
    size_t SlotOf(const TLines& Lines, std::string_view Name, uint64_t Hash) const;
    void Insert(const TLines& Lines, size_t Line);
    void Grow(const TLines& Lines, size_t Names);

    std::vector<uint64_t> slots_;  // 0: empty; else hash tag << 32 | (line + 1)
    size_t used_ = 0;
};

}  // namespace platform
