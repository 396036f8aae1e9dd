#include "platform/name_index.h"

#include "platform/strconv.h"

namespace platform {

namespace {
constexpr size_t kMinSlots = 64;

std::string_view NameOfLine(std::string_view Line, bool& Named) {
    const size_t eq = Line.find('=');
    Named = eq != std::string_view::npos;
    return Named ? Line.substr(0, eq) : std::string_view();
}

uint32_t LineOf(uint64_t Slot) { return uint32_t(Slot & 0xFFFFFFFFu) - 1; }
uint64_t Tag(uint64_t Hash) { return Hash & 0xFFFFFFFF00000000u; }
}  // namespace

// FNV-1a over the name in upper case: names equal without regard to case hash alike.
uint64_t TNameIndex::Hash(std::string_view Name) {
    uint64_t h = 14695981039346656037u;
    for (char c : Name) {
        const char u = (c >= 'a' && c <= 'z') ? char(c - 32) : c;
        h = (h ^ uint8_t(u)) * 1099511628211u;
    }
    return h;
}

void TNameIndex::Clear() {
    std::vector<uint64_t>().swap(slots_);  // the room goes too: a long list's index is megabytes
    used_ = 0;
}

size_t TNameIndex::SlotOf(const TLines& Lines, std::string_view Name, uint64_t H) const {
    const size_t mask = slots_.size() - 1;
    for (size_t i = size_t(H ^ (H >> 32)) & mask;; i = (i + 1) & mask) {
        const uint64_t s = slots_[i];
        if (s == 0) return i;
        bool named = false;
        if (Tag(s) == Tag(H) && SameText(NameOfLine(Lines[LineOf(s)], named), Name)) return i;
    }
}

void TNameIndex::Grow(const TLines& Lines, size_t Names) {
    size_t size = kMinSlots;
    while (size < Names + Names / 2) size *= 2;  // at most two thirds full
    slots_.assign(size, 0);
    used_ = 0;
    for (size_t i = 0; i < Lines.size(); ++i) Insert(Lines, i);
}

void TNameIndex::Build(const TLines& Lines) { Grow(Lines, Lines.size()); }

void TNameIndex::Insert(const TLines& Lines, size_t Line) {
    bool named = false;
    const std::string_view name = NameOfLine(Lines[Line], named);
    if (!named) return;
    const uint64_t h = Hash(name);
    const size_t at = SlotOf(Lines, name, h);
    if (slots_[at] != 0) return;  // an earlier line of the name keeps winning
    slots_[at] = Tag(h) | (uint64_t(Line) + 1);
    ++used_;
}

int TNameIndex::Find(const TLines& Lines, std::string_view Name) const {
    if (slots_.empty()) return -1;
    const uint64_t s = slots_[SlotOf(Lines, Name, Hash(Name))];
    return s == 0 ? -1 : int(LineOf(s));
}

void TNameIndex::Appended(const TLines& Lines, size_t Line) {
    if ((used_ + 1) * 3 > slots_.size() * 2) return Grow(Lines, used_ + 1);
    Insert(Lines, Line);
}

void TNameIndex::Erasing(const TLines& Lines, size_t Line) {
    bool named = false;
    const std::string_view name = NameOfLine(Lines[Line], named);
    if (named && !slots_.empty()) {
        const uint64_t h = Hash(name);
        size_t at = SlotOf(Lines, name, h);
        if (slots_[at] != 0 && LineOf(slots_[at]) == Line) {
            // The first of its name goes: the next line of that name, if any, becomes the first.
            size_t next = Line + 1;
            for (bool nextNamed = false; next < Lines.size(); ++next)
                if (SameText(NameOfLine(Lines[next], nextNamed), name) && nextNamed) break;
            if (next < Lines.size()) {
                slots_[at] = Tag(h) | (uint64_t(next) + 1);
            } else {
                // Backward-shift deletion keeps every later name reachable from its home slot.
                const size_t mask = slots_.size() - 1;
                slots_[at] = 0;
                --used_;
                for (size_t j = (at + 1) & mask; slots_[j] != 0; j = (j + 1) & mask) {
                    bool moved = false;
                    const uint64_t s = slots_[j];
                    const uint64_t sh = Hash(NameOfLine(Lines[LineOf(s)], moved));
                    const size_t home = size_t(sh ^ (sh >> 32)) & mask;
                    // The entry at j may move to the hole when its home is not between hole and j.
                    const bool between = at <= j ? (home > at && home <= j) : (home > at || home <= j);
                    if (!between) {
                        slots_[at] = s;
                        slots_[j] = 0;
                        at = j;
                    }
                }
            }
        }
    }
    for (uint64_t& s : slots_)
        if (s != 0 && LineOf(s) > Line) --s;
}

}  // namespace platform
