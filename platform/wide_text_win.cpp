#include "platform/wide_text_win.h"

#include <windows.h>

namespace platform {

std::wstring Widen(std::string_view Utf8) {
    if (Utf8.empty()) return {};
    const int n = MultiByteToWideChar(CP_UTF8, 0, Utf8.data(), int(Utf8.size()), nullptr, 0);
    std::wstring out(size_t(n > 0 ? n : 0), L'\0');
    if (n > 0) MultiByteToWideChar(CP_UTF8, 0, Utf8.data(), int(Utf8.size()), out.data(), n);
    return out;
}

std::string Narrow(std::wstring_view Utf16) {
    if (Utf16.empty()) return {};
    const int n = WideCharToMultiByte(CP_UTF8, 0, Utf16.data(), int(Utf16.size()), nullptr, 0, nullptr, nullptr);
    std::string out(size_t(n > 0 ? n : 0), '\0');
    if (n > 0) WideCharToMultiByte(CP_UTF8, 0, Utf16.data(), int(Utf16.size()), out.data(), n, nullptr, nullptr);
    return out;
}

std::wstring WidePath(std::string_view Utf8Path) {
    std::wstring w = Widen(Utf8Path);
    for (wchar_t& c : w)
        if (c == L'/') c = L'\\';
    return w;
}

}  // namespace platform
