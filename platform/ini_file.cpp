#include "platform/ini_file.h"

#include <optional>
#include <string_view>
#include <vector>

#include "platform/codepage.h"
#include "platform/errors.h"
#include "platform/file_utils.h"
#include "platform/strconv.h"
#include "platform/utf8.h"

namespace platform {

namespace {
std::vector<std::string> SplitLines(const std::string& text) {
    std::vector<std::string> lines;
    size_t start = 0;
    while (start < text.size()) {
        const size_t end = text.find_first_of("\r\n", start);
        if (end == std::string::npos) {
            lines.push_back(text.substr(start));
            break;
        }
        lines.push_back(text.substr(start, end - start));
        start = end + ((text[end] == '\r' && end + 1 < text.size() && text[end + 1] == '\n') ? 2 : 1);
    }
    return lines;
}

// The section a header line opens, or nothing when the line is no header.
std::optional<std::string> SectionOf(const std::string& line) {
    const std::string t = Trim(line);
    if (t.empty() || t.front() != '[') return std::nullopt;
    const size_t close = t.find(']');
    return Trim(t.substr(1, close == std::string::npos ? std::string::npos : close - 1));
}

bool IsKeyLine(const std::string& line, const std::string& key) {
    const size_t eq = line.find('=');
    return eq != std::string::npos && SameText(Trim(std::string_view(line).substr(0, eq)), key);
}

std::string ValueOf(const std::string& line) {
    std::string v = Trim(std::string_view(line).substr(line.find('=') + 1));
    if (v.size() >= 2 && (v.front() == '"' || v.front() == '\'') && v.back() == v.front())
        v = v.substr(1, v.size() - 2);
    return v;
}

const std::string kUtf16Mark = "\xFF\xFE";

std::string Utf16LeToUtf8(std::string_view bytes) {
    std::string out;
    for (size_t i = 0; i + 1 < bytes.size(); i += 2) {
        char32_t c = char32_t(uint8_t(bytes[i]) | uint8_t(bytes[i + 1]) << 8);
        if (c >= 0xD800 && c < 0xDC00 && i + 3 < bytes.size()) {
            const char32_t low = char32_t(uint8_t(bytes[i + 2]) | uint8_t(bytes[i + 3]) << 8);
            if (low >= 0xDC00 && low < 0xE000) {
                c = 0x10000 + ((c - 0xD800) << 10) + (low - 0xDC00);
                i += 2;
            }
        }
        if (c >= 0xD800 && c < 0xE000) c = 0xFFFD;  // a lone surrogate
        utf8::AppendUtf8(out, c);
    }
    return out;
}

std::string Utf8ToUtf16Le(std::string_view text) {
    std::string out;
    auto unit = [&out](char32_t u) {
        out += char(u & 0xFF);
        out += char(u >> 8);
    };
    for (size_t i = 0; i < text.size();) {
        const char32_t c = utf8::NextCodePoint(text, i);
        if (c >= 0x10000) {
            unit(0xD800 + ((c - 0x10000) >> 10));
            unit(0xDC00 + ((c - 0x10000) & 0x3FF));
        } else {
            unit(c);
        }
    }
    return out;
}

// The file's lines; no lines for a missing file. Raises when it exists but cannot be read.
std::vector<std::string> LoadLines(const std::string& fileName) {
    if (!FileExists(fileName)) return {};
    const std::string bytes = ReadFileBytes(fileName);
    if (bytes.rfind(kUtf16Mark, 0) == 0) return SplitLines(Utf16LeToUtf8(std::string_view(bytes).substr(2)));
    return SplitLines(AnsiToUtf8(bytes));
}

// The ANSI code page when it can write the text; otherwise UTF-16 LE with its byte-order
// mark, which Windows' profile functions read too ("C:\Brinquet Łódź\" must reach the
// update program whole, not as "C:\Brinquet ?ód?\").
std::string FileBytes(const std::string& text) {
    std::string ansi = Utf8ToAnsi(text);
    if (AnsiToUtf8(ansi) == text) return ansi;
    return kUtf16Mark + Utf8ToUtf16Le(text);
}

// [begin, end) of the lines of the first section named Section, the header excluded;
// begin == npos when there is none.
std::pair<size_t, size_t> FindSection(const std::vector<std::string>& lines, const std::string& section) {
    size_t begin = std::string::npos;
    for (size_t i = 0; i < lines.size(); ++i) {
        const auto s = SectionOf(lines[i]);
        if (!s) continue;
        if (begin != std::string::npos) return {begin, i};
        if (SameText(*s, section)) begin = i + 1;
    }
    return {begin, lines.size()};
}
}  // namespace

std::string TIniFile::ReadString(const std::string& Section, const std::string& Key, const std::string& Default) const {
    std::vector<std::string> lines;
    try {
        lines = LoadLines(FFileName);
    } catch (const std::exception&) {
        return Default;
    }
    const auto [begin, end] = FindSection(lines, Section);
    if (begin == std::string::npos) return Default;
    for (size_t i = begin; i < end; ++i)
        if (IsKeyLine(lines[i], Key)) return ValueOf(lines[i]);
    return Default;
}

int32_t TIniFile::ReadInteger(const std::string& Section, const std::string& Key, int32_t Default) const {
    return StrToIntDef(ReadString(Section, Key, ""), Default);
}

void TIniFile::WriteString(const std::string& Section, const std::string& Key, const std::string& Value) {
    std::vector<std::string> lines = LoadLines(FFileName);
    // One value is one line: what was typed after a line break would become keys and sections
    // of its own ("Ann\r\n[Settings]\r\nLocalNumber=666").
    const std::string entry = Key + "=" + Value.substr(0, Value.find_first_of(std::string_view("\r\n\0", 3)));
    const auto [begin, end] = FindSection(lines, Section);
    if (begin == std::string::npos) {
        lines.push_back("[" + Section + "]");
        lines.push_back(entry);
    } else {
        size_t at = std::string::npos, last = begin;  // last: after the section's last non-blank line
        for (size_t i = begin; i < end && at == std::string::npos; ++i) {
            if (IsKeyLine(lines[i], Key)) at = i;
            if (!Trim(lines[i]).empty()) last = i + 1;
        }
        if (at != std::string::npos)
            lines[at] = entry;
        else
            lines.insert(lines.begin() + std::ptrdiff_t(last), entry);
    }
    std::string text;
    for (const auto& l : lines) text.append(l).append("\r\n");
    WriteFileAtomically(FFileName, FileBytes(text));
}

}  // namespace platform
