#include "server_ini/file_names.h"

#include <cstdio>
#include <string_view>

#include "platform/shown_text.h"
#include "platform/strconv.h"
#include "server_ini/server_ini.h"

using namespace platform;

namespace serverini {

namespace {
// Longer parts no file system here or on a workstation stores; longer names no path holds.
constexpr size_t kMaxPartLength = 255;
constexpr size_t kMaxNameLength = 1024;

bool IsControl(unsigned char c) { return c < 0x20 || c == 0x7F; }

std::vector<std::string> Parts(const std::string& Name) {
    std::vector<std::string> parts;
    size_t start = 0;
    for (;;) {
        const size_t slash = Name.find('/', start);
        parts.push_back(Name.substr(start, slash == std::string::npos ? std::string::npos : slash - start));
        if (slash == std::string::npos) return parts;
        start = slash + 1;
    }
}

bool LeavesProgramFolder(const std::string& Name) {
    if (Name.empty() || Name.size() > kMaxNameLength || Name[0] == '/' || Name.back() == '/') return true;
    if (Name.find('\\') != std::string::npos || (Name.size() >= 2 && Name[1] == ':')) return true;
    for (const std::string& part : Parts(Name))
        if (part == ".." || part.size() > kMaxPartLength) return true;
    return NormalizedFileName(Name).empty();  // "." or "./": the folder itself
}

// Windows drops a trailing dot or blank from each part ("Temp." is "Temp") and reads a colon
// as the start of a stream name ("app.dll:x"), so such a name reaches another file than the
// one it spells. No product file is named so.
bool HasOtherSpelling(const std::string& Name) {
    if (Name.find(':') != std::string::npos) return true;
    for (const std::string& part : Parts(Name))
        if (part != "." && !part.empty() && (part.back() == '.' || part.back() == ' ')) return true;
    return false;
}
}  // namespace

std::string NormalizedFileName(const std::string& Name) {
    std::string out;
    for (const std::string& part : Parts(Name)) {
        if (part.empty() || part == ".") continue;
        if (!out.empty()) out += '/';
        out += part;
    }
    return out;
}

TFileNameFault CheckFileName(const std::string& Name, const std::vector<std::string>& OwnFiles) {
    for (char c : Name)
        if (IsControl(static_cast<unsigned char>(c))) return TFileNameFault::ControlCharacter;
    if (LeavesProgramFolder(Name)) return TFileNameFault::LeavesProgramFolder;
    if (HasOtherSpelling(Name)) return TFileNameFault::OtherSpelling;
    const std::string normalized = NormalizedFileName(Name);
    // What a file in use was moved aside to belongs to the updater until it is deleted.
    const size_t aside = sizeof kMovedAsideSuffix - 1;
    if (normalized.size() > aside && SameText(normalized.substr(normalized.size() - aside), kMovedAsideSuffix))
        return TFileNameFault::OwnFile;
    for (const std::string& own : OwnFiles)
        if (SameText(normalized, own)) return TFileNameFault::OwnFile;
    return TFileNameFault::None;
}

std::string FileNameFaultText(TFileNameFault Fault, const std::string& Key, std::string_view Name) {
    const std::string name(Name);
    switch (Fault) {
    case TFileNameFault::None: break;
    case TFileNameFault::OtherSpelling:
        return kConfigProblem + Key + " names \"" + name +
               "\", which Windows reads as another name (a part ending in a dot or a blank, or a colon).";
    case TFileNameFault::LeavesProgramFolder:
        return kConfigProblem + Key + " names \"" + ShownText(name) + "\", which is not a file inside the program folder.";
    case TFileNameFault::ControlCharacter:
        return kConfigProblem + Key + " holds a control character, which no file name may hold.";
    case TFileNameFault::OwnFile:
        return kConfigProblem + Key + " names \"" + ShownText(name) + "\", which is one of the updater's own files.";
    }
    return "";
}

bool IsSafeFileName(const std::string& Name) { return CheckFileName(Name, {}) == TFileNameFault::None; }

bool IsBatchFile(const std::string& Name) {
    const std::string ext = Name.size() < 4 ? std::string() : Name.substr(Name.size() - 4);
    return SameText(ext, ".bat") || SameText(ext, ".cmd");
}

bool HoldsCommandCharacter(const std::string& Text) {
    for (char c : Text)
        if (IsControl(static_cast<unsigned char>(c)) ||
            std::string_view("&|<>^%!\"()").find(c) != std::string_view::npos)
            return true;
    return false;
}

std::string UrlEncodedFileName(const std::string& Name) {
    // RFC 3986 pchar plus "/": unreserved, sub-delims, ":" and "@".
    static const std::string kKept = "-._~!$&'()*+,;=:@/";
    std::string out;
    for (char c : Name) {
        const unsigned char u = static_cast<unsigned char>(c);
        if ((u >= 'a' && u <= 'z') || (u >= 'A' && u <= 'Z') || (u >= '0' && u <= '9') ||
            kKept.find(c) != std::string::npos) {
            out += c;
        } else {
            char hex[4];
            std::snprintf(hex, sizeof hex, "%%%02X", u);
            out += hex;
        }
    }
    return out;
}

std::string ProgramNameOf(const std::string& ExeFileName) { return ExeFileName.substr(0, ExeFileName.find('.')); }

std::string FileKey(int N, const char* Suffix) { return "FILE" + std::to_string(N) + Suffix; }

}  // namespace serverini
