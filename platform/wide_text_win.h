#pragma once
// UTF-8 inside the program, UTF-16 at the Windows API. Included by _win files only.
#include <string>
#include <string_view>

namespace platform {

std::wstring Widen(std::string_view Utf8);
std::string Narrow(std::wstring_view Utf16);
// Windows takes "/" as a separator too, but the shell and some older calls do not.
std::wstring WidePath(std::string_view Utf8Path);

}  // namespace platform
