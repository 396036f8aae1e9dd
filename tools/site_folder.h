#pragma once
// A publisher's update site folder: its server INI, the files it lists, and the edit of the
// INI's lines that keeps everything the publisher wrote.
#include <string>
#include <vector>

namespace tools {

// The arguments of a command on a site: one SITE (or file) and at most one "--key FILE", in
// any order. False for anything else: a missing site, an unknown option, a second key.
bool ReadSiteAndKey(const std::vector<std::string>& Args, std::string& Site, std::string& KeyFile);

// The server INI of Site: Site itself when it is a file, else the one .ini file in the folder
// that carries the marker. Raises EUpdaterError naming what was found otherwise.
std::string FindServerIni(const std::string& Site);

// The lines of an INI file as bytes, each with its own line end, so that a file written back
// after a few values changed differs from the original in those lines only.
class TIniLines {
public:
    explicit TIniLines(const std::string& Bytes);  // raises EUpdaterError for UTF-16 text
    std::string Bytes() const;
    // The value of the first line named Key (any letter case); false when there is none.
    bool Find(const std::string& Key, std::string& Value) const;
    // Replaces the value of the first line named Key, or, when there is none, adds Key=Value
    // after the last line of entry N (the last FILE{N}... line) or at the end.
    void Set(const std::string& Key, const std::string& Value, int N);

private:
    struct TLine {
        std::string text, end;
    };
    int IndexOf(const std::string& Key) const;
    std::string bom_;
    std::vector<TLine> lines_;
};

}  // namespace tools
