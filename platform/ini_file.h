#pragma once
// INI files read and written by section and key, for the product's own files (params file,
// installation settings, contact details). Unlike the engine's flat name=value lists, a key
// belongs to a section here. Section and key names match without regard to case; a value is
// the text after the first "=", without surrounding blanks and without one pair of
// enclosing quotes. The file is in the ANSI code page, or in UTF-16 LE with a byte-order
// mark when the code page cannot write its text; text is UTF-8 inside the program.
#include <cstdint>
#include <string>

namespace platform {

class TIniFile {
public:
    explicit TIniFile(std::string FileName) : FFileName(std::move(FileName)) {}
    const std::string& FileName() const { return FFileName; }

    // Reads the file as it is on disk now. A missing or unreadable file, section or key
    // gives Default; reading never fails.
    std::string ReadString(const std::string& Section, const std::string& Key, const std::string& Default) const;
    // The value as an integer (decimal, or hexadecimal after "0x" or "$"); Default when it
    // is missing or not a number.
    int32_t ReadInteger(const std::string& Section, const std::string& Key, int32_t Default) const;

    // Replaces the key's value in place, or adds the key at the end of its section (adding
    // the section, and the file, when missing). On disk when it returns: the new file is
    // written beside the old one and renamed over it. Raises EUpdaterError when the file
    // exists but cannot be read (it is then left alone) or cannot be written. The value is cut
    // at its first CR, LF or NUL.
    void WriteString(const std::string& Section, const std::string& Key, const std::string& Value);

private:
    std::string FFileName;
};

}  // namespace platform
