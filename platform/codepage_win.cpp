#include <windows.h>

#include "platform/codepage.h"
#include "platform/wide_text_win.h"

namespace platform {

// The system's own ANSI code page, whatever the workstation is set to.
std::string AnsiToUtf8(std::string_view ansi) {
    if (ansi.empty()) return {};
    const int n = MultiByteToWideChar(CP_ACP, 0, ansi.data(), int(ansi.size()), nullptr, 0);
    std::wstring wide(size_t(n > 0 ? n : 0), L'\0');
    if (n > 0) MultiByteToWideChar(CP_ACP, 0, ansi.data(), int(ansi.size()), wide.data(), n);
    return Narrow(wide);
}

std::string Utf8ToAnsi(std::string_view utf8) {
    const std::wstring wide = Widen(utf8);
    if (wide.empty()) return {};
    // What the code page lacks becomes its default character "?", not a look-alike (best fit
    // would turn a Greek omega into "O").
    const DWORD flags = WC_NO_BEST_FIT_CHARS;
    const int n = WideCharToMultiByte(CP_ACP, flags, wide.data(), int(wide.size()), nullptr, 0, nullptr, nullptr);
    std::string out(size_t(n > 0 ? n : 0), '\0');
    if (n > 0) WideCharToMultiByte(CP_ACP, flags, wide.data(), int(wide.size()), out.data(), n, nullptr, nullptr);
    return out;
}

}  // namespace platform
