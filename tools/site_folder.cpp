#include "tools/site_folder.h"

#include <algorithm>
#include <filesystem>
#include <set>

#include "crypto/crypto.h"
#include "server_ini/server_ini_limits.h"
#include "platform/errors.h"
#include "platform/file_utils.h"
#include "platform/strconv.h"

using namespace platform;

namespace tools {

namespace fs = std::filesystem;

namespace {
// The entry a key belongs to: FILE{n} followed by a letter (FILE1 is not FILE10, FILE01 no entry); -1 for none.
int EntryOf(std::string_view Key) {
    if (Key.size() < 6 || !SameText(Key.substr(0, 4), "FILE")) return -1;
    size_t i = 4;
    int n = 0;
    while (i < Key.size() && Key[i] >= '0' && Key[i] <= '9' && i < 13) n = n * 10 + (Key[i++] - '0');
    if (i == 4 || i == Key.size() || (Key[4] == '0' && i > 5) || (Key[i] >= '0' && Key[i] <= '9')) return -1;
    return n;
}

std::string MiB(size_t Bytes) { return Format("%.2f MiB", double(Bytes) / (1024.0 * 1024.0)); }
}  // namespace

bool ReadSiteAndOptions(const std::vector<std::string>& Args, const std::vector<std::string>& Allowed,
                        std::string& Site, std::map<std::string, std::string>& Options) {
    Site.clear();
    Options.clear();
    for (size_t i = 0; i < Args.size(); ++i) {
        if (Args[i].rfind("--", 0) == 0) {
            const std::string name = Args[i].substr(2);
            if (std::find(Allowed.begin(), Allowed.end(), name) == Allowed.end() || i + 1 >= Args.size() ||
                !Options.emplace(name, Args[i + 1]).second)
                return false;
            ++i;
        } else if (Site.empty()) {
            Site = Args[i];
        } else {
            return false;
        }
    }
    return !Site.empty();
}

std::string FindServerIni(const std::string& Site) {
    std::error_code ec;
    if (!fs::is_directory(Site, ec)) {
        if (!fs::is_regular_file(Site, ec)) throw EUpdaterError(Site + " is neither a site folder nor a file");
        return Site;
    }
    std::vector<std::string> found;
    for (const auto& e : fs::directory_iterator(Site, ec)) {
        if (!e.is_regular_file() || e.path().extension() != ".ini") continue;
        if (ReadFileBytes(e.path().string()).find("FOUNDIT") != std::string::npos) found.push_back(e.path().string());
    }
    if (found.size() == 1) return found[0];
    if (found.empty()) throw EUpdaterError("no server INI (an .ini file with the marker FOUNDIT) in " + Site);
    std::string names;
    for (const auto& f : found) names += " " + f;
    throw EUpdaterError("more than one server INI in " + Site + ", name one:" + names);
}

std::string ReadPublicKey(const std::string& KeyFile) {
    const std::string text = ReadFileBytes(KeyFile);
    if (text.find("-----BEGIN") == std::string::npos) return Trim(text);
    std::string error;
    const std::string key = crypto::PublicKeyBase64FromPem(text, error);
    if (key.empty()) throw EUpdaterError(KeyFile + ": " + error);
    return key;
}

std::string SizeLimitError(size_t Bytes) {
    if (int64_t(Bytes) <= serverini::kMaxServerIniBytes) return "";
    return "the server INI is " + std::to_string(Bytes) + " bytes (" + MiB(Bytes) +
           "); the updater refuses a configuration file of more than 16 MiB (" +
           std::to_string(serverini::kMaxServerIniBytes) + " bytes), so every update would fail";
}

std::string SizeLimitWarning(size_t Bytes) {
    if (int64_t(Bytes) > serverini::kMaxServerIniBytes || int64_t(Bytes) * 10 < serverini::kMaxServerIniBytes * 9) return "";
    return "the server INI is " + std::to_string(Bytes) + " bytes (" + MiB(Bytes) + "), " +
           std::to_string(int64_t(Bytes) * 100 / serverini::kMaxServerIniBytes) +
           " % of the 16 MiB the updater takes at most";
}

TIniLines::TIniLines(const std::string& Bytes) {
    std::string_view rest = Bytes;
    if (rest.substr(0, 2) == "\xFF\xFE" || rest.substr(0, 2) == "\xFE\xFF")
        throw EUpdaterError("the server INI is UTF-16 text; save it as ANSI or UTF-8 to publish it");
    if (rest.substr(0, 3) == "\xEF\xBB\xBF") {
        bom_ = "\xEF\xBB\xBF";
        rest.remove_prefix(3);
    }
    while (!rest.empty()) {
        const size_t cut = rest.find_first_of("\r\n");
        TLine line;
        line.text = std::string(rest.substr(0, cut));
        if (cut == std::string_view::npos) {
            rest = {};
        } else {
            const size_t endLen = rest.substr(cut, 2) == "\r\n" ? 2 : 1;
            line.end = std::string(rest.substr(cut, endLen));
            rest.remove_prefix(cut + endLen);
        }
        const int index = int(lines_.size());
        const size_t eq = line.text.find('=');
        if (eq != std::string::npos) {
            const std::string_view key = std::string_view(line.text).substr(0, eq);
            first_.try_emplace(UpperCase(key), index);
            const int n = EntryOf(key);
            if (n >= 0) entryLast_[n] = index;
        }
        lines_.push_back(std::move(line));
        top_.push_back(index);
    }
    defaultEnd_ = lines_.empty() || lines_.front().end.empty() ? "\r\n" : lines_.front().end;
}

void TIniLines::Emit(int Line, std::string& Out) const {
    const TLine& l = lines_[size_t(Line)];
    Out += l.text;
    Out += l.end;
    for (int a : l.after) Emit(a, Out);
}

std::string TIniLines::Bytes() const {
    std::string out = bom_;
    for (int i : top_) Emit(i, out);
    return out;
}

int TIniLines::IndexOf(const std::string& Key) const {
    const auto it = first_.find(UpperCase(Key));
    return it == first_.end() ? -1 : it->second;
}

bool TIniLines::Find(const std::string& Key, std::string& Value) const {
    const int i = IndexOf(Key);
    if (i < 0) return false;
    Value = lines_[size_t(i)].text.substr(lines_[size_t(i)].text.find('=') + 1);
    return true;
}

void TIniLines::AddLine(int Anchor, const std::string& Text) {
    // The line before the new one in the file: the anchor's last follower, or the last line.
    int before = Anchor;
    if (Anchor < 0) {
        before = top_.empty() ? -1 : top_.back();
    }
    while (before >= 0 && !lines_[size_t(before)].after.empty()) before = lines_[size_t(before)].after.back();
    TLine added{Text, defaultEnd_, {}};
    if (before >= 0 && lines_[size_t(before)].end.empty()) {
        lines_[size_t(before)].end = defaultEnd_;
        added.end.clear();  // the file ended without a line end, and still does
    } else if (before >= 0) {
        added.end = lines_[size_t(before)].end;
    }
    const int index = int(lines_.size());
    lines_.push_back(std::move(added));
    if (Anchor < 0)
        top_.push_back(index);
    else
        lines_[size_t(Anchor)].after.push_back(index);
    const std::string_view key = std::string_view(lines_.back().text).substr(0, lines_.back().text.find('='));
    first_.try_emplace(UpperCase(key), index);
    const int n = EntryOf(key);
    if (n >= 0) entryLast_[n] = index;
}

void TIniLines::Set(const std::string& Key, const std::string& Value, int N) {
    const int i = IndexOf(Key);
    if (i >= 0) {
        std::string& text = lines_[size_t(i)].text;
        text = text.substr(0, text.find('=') + 1) + Value;
        return;
    }
    const auto last = entryLast_.find(N);
    AddLine(last == entryLast_.end() ? -1 : last->second, Key + "=" + Value);
}

void TIniLines::SetGlobal(const std::string& Key, const std::string& Value) {
    const int i = IndexOf(Key);
    if (i >= 0) {
        std::string& text = lines_[size_t(i)].text;
        text = text.substr(0, text.find('=') + 1) + Value;
        return;
    }
    AddLine(IndexOf("FILECOUNT"), Key + "=" + Value);
}

}  // namespace tools
