#pragma once
// A publisher's update site folder: its server INI, the files it lists, and the edit of the
// INI's lines that keeps everything the publisher wrote.
#include <map>
#include <string>
#include <unordered_map>
#include <vector>

namespace tools {

// The arguments of a command on a site: one SITE (or file) and options "--NAME VALUE", each
// of Allowed at most once, in any order. False for anything else: a missing site or value,
// an unknown option, an option given twice.
bool ReadSiteAndOptions(const std::vector<std::string>& Args, const std::vector<std::string>& Allowed,
                        std::string& Site, std::map<std::string, std::string>& Options);

// The server INI of Site: Site itself when it is a file, else the one .ini file in the folder
// that carries the marker. Raises EUpdaterError naming what was found otherwise.
std::string FindServerIni(const std::string& Site);

// The key as PUBLICKEY holds it: from a PEM file (public or private key), or the base64 text
// itself. Raises EUpdaterError when the file holds no P-256 key.
std::string ReadPublicKey(const std::string& KeyFile);

// The limit the updater sets on a server INI, as a publisher reads it: an error above it, a
// warning from 90 % of it; empty when the size is well inside.
std::string SizeLimitError(size_t Bytes);
std::string SizeLimitWarning(size_t Bytes);

// The lines of an INI file as bytes, each with its own line end, so that a file written back
// after a few values changed differs from the original in those lines only. Every lookup and
// change costs the same however long the file is.
class TIniLines {
public:
    explicit TIniLines(const std::string& Bytes);  // raises EUpdaterError for UTF-16 text
    std::string Bytes() const;
    // The value of the first line named Key (any letter case); false when there is none.
    bool Find(const std::string& Key, std::string& Value) const;
    // Replaces the value of the first line named Key, or, when there is none, adds Key=Value
    // after the last line of entry N (the last FILE{N}... line) or at the end.
    void Set(const std::string& Key, const std::string& Value, int N);
    // Replaces the value of the first line named Key, or adds Key=Value after the FILECOUNT
    // line (after the lines added there before) or at the end.
    void SetGlobal(const std::string& Key, const std::string& Value);

private:
    struct TLine {
        std::string text, end;
        std::vector<int> after;  // lines added behind this one, in order
    };
    int IndexOf(const std::string& Key) const;
    void AddLine(int Anchor, const std::string& Text);  // Anchor -1: at the end
    void Emit(int Line, std::string& Out) const;
    std::string bom_;
    std::vector<TLine> lines_;
    std::vector<int> top_;                        // the lines in file order, each with what follows it
    std::unordered_map<std::string, int> first_;  // upper-case key -> its first line
    std::unordered_map<int, int> entryLast_;      // entry number -> its last line
    std::string defaultEnd_;
};

}  // namespace tools
