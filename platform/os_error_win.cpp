#include "platform/os_error.h"

#include <windows.h>

#include "platform/strconv.h"
#include "platform/wide_text_win.h"

namespace platform {

int WindowsErrorCode(int Errno) { return Errno; }

std::string SystemErrorText(int Errno) {
    wchar_t* buffer = nullptr;
    const DWORD n =
        FormatMessageW(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
                       nullptr, DWORD(Errno), 0, reinterpret_cast<wchar_t*>(&buffer), 0, nullptr);
    std::string text = n > 0 ? Narrow(std::wstring_view(buffer, n)) : std::string();
    if (buffer) LocalFree(buffer);
    // The system's texts end in CR LF, which the messages built on them do not repeat.
    while (!text.empty() && (text.back() == '\n' || text.back() == '\r' || text.back() == ' ')) text.pop_back();
    return text.empty() ? Format("Unknown error %d", Errno) : text;
}

std::string SystemErrorMessage(int Errno) {
    if (Errno == 0) return "A call to an OS function failed";
    return Format("System Error.  Code: %d.\r\n", Errno) + SystemErrorText(Errno);
}

EOSError OSErrorFromErrno(int Errno) { return EOSError(SystemErrorMessage(Errno), Errno); }

}  // namespace platform
