#pragma once
// The system's "ANSI code page": on Windows the workstation's own, elsewhere Windows-1252,
// so INI files, log lines and form posts are byte for byte what a Western-European Windows
// workstation writes. Text is UTF-8 inside the program.
#include <string>
#include <string_view>

namespace platform {

std::string AnsiToUtf8(std::string_view ansi);
// Characters the code page lacks become "?", as the Windows conversion's default character.
std::string Utf8ToAnsi(std::string_view utf8);

std::string Utf16ToUtf8(std::string_view bytes, bool bigEndian);
std::string Utf8ToUtf16(std::string_view utf8, bool bigEndian);

}  // namespace platform
