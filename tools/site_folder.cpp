#include "tools/site_folder.h"

#include <filesystem>

#include "platform/errors.h"
#include "platform/file_utils.h"
#include "platform/strconv.h"

using namespace platform;

namespace tools {

namespace fs = std::filesystem;

bool ReadSiteAndKey(const std::vector<std::string>& Args, std::string& Site, std::string& KeyFile) {
    Site.clear();
    KeyFile.clear();
    for (size_t i = 0; i < Args.size(); ++i) {
        if (Args[i] == "--key" && i + 1 < Args.size() && KeyFile.empty())
            KeyFile = Args[++i];
        else if (Site.empty() && Args[i].rfind("--", 0) != 0)
            Site = Args[i];
        else
            return false;
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
        lines_.push_back(std::move(line));
    }
}

std::string TIniLines::Bytes() const {
    std::string out = bom_;
    for (const auto& l : lines_) out += l.text + l.end;
    return out;
}

int TIniLines::IndexOf(const std::string& Key) const {
    for (size_t i = 0; i < lines_.size(); ++i) {
        const size_t eq = lines_[i].text.find('=');
        if (eq != std::string::npos && SameText(std::string_view(lines_[i].text).substr(0, eq), Key)) return int(i);
    }
    return -1;
}

bool TIniLines::Find(const std::string& Key, std::string& Value) const {
    const int i = IndexOf(Key);
    if (i < 0) return false;
    Value = lines_[size_t(i)].text.substr(lines_[size_t(i)].text.find('=') + 1);
    return true;
}

void TIniLines::Set(const std::string& Key, const std::string& Value, int N) {
    const int i = IndexOf(Key);
    if (i >= 0) {
        std::string& text = lines_[size_t(i)].text;
        text = text.substr(0, text.find('=') + 1) + Value;
        return;
    }
    // Entry N's lines are named FILE{N} followed by a letter (FILE1 is not FILE10).
    const std::string prefix = "FILE" + std::to_string(N);
    int last = -1;
    for (size_t j = 0; j < lines_.size(); ++j) {
        const std::string& t = lines_[j].text;
        const size_t eq = t.find('=');
        if (eq != std::string::npos && eq > prefix.size() &&
            SameText(std::string_view(t).substr(0, prefix.size()), prefix) &&
            !(t[prefix.size()] >= '0' && t[prefix.size()] <= '9'))
            last = int(j);
    }
    const std::string defaultEnd = lines_.empty() || lines_.front().end.empty() ? "\r\n" : lines_.front().end;
    TLine added{Key + "=" + Value, defaultEnd};
    if (last < 0) {
        if (!lines_.empty() && lines_.back().end.empty()) lines_.back().end = defaultEnd;
        lines_.push_back(added);
        return;
    }
    if (lines_[size_t(last)].end.empty()) {
        lines_[size_t(last)].end = defaultEnd;
        added.end.clear();  // the file ended without a line end, and still does
    } else {
        added.end = lines_[size_t(last)].end;
    }
    lines_.insert(lines_.begin() + last + 1, added);
}

}  // namespace tools
