// Windows headers depend on their order.
// clang-format off
#include <windows.h>
#include <shellapi.h>
#include <winnetwk.h>
// clang-format on

#include <vector>

#include "platform/codepage.h"
#include "platform/errors.h"
#include "platform/os_error.h"
#include "platform/os_services.h"
#include "platform/process_runner.h"
#include "platform/unique_handle_win.h"
#include "platform/wide_text_win.h"

namespace platform {

namespace {
thread_local DWORD t_lastError = 0;

// The major version of Windows, read once at program start. GetVersionExW answers with the
// version the program's manifest allows, which is all the probe needs (6 or above: Vista on).
OSVERSIONINFOW ReadVersion() {
    OSVERSIONINFOW v{};
    v.dwOSVersionInfoSize = sizeof v;
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wdeprecated-declarations"
    GetVersionExW(&v);
#pragma GCC diagnostic pop
    return v;
}
const OSVERSIONINFOW g_version = ReadVersion();

constexpr const wchar_t* kPolicyKey = L"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Policies\\System";
}  // namespace

int TOSServices::ShellOpen(const std::string& FileName, const std::string& Params, const std::string&) {
    const std::wstring file = IsUrl(FileName) ? Widen(FileName) : WidePath(FileName);
    const std::wstring params = Widen(Params);
    SetLastError(0);
    const auto r = reinterpret_cast<INT_PTR>(ShellExecuteW(
        nullptr, L"open", file.c_str(), params.empty() ? nullptr : params.c_str(), nullptr, SW_SHOWNORMAL));
    t_lastError = r > 32 ? 0 : GetLastError();
    if (r <= 32 && t_lastError == 0) t_lastError = DWORD(r);  // the shell's value names the failure too
    return int(r);
}

std::string TOSServices::LastErrorText() { return SystemErrorText(int(t_lastError)); }

int TOSServices::RunAndWait(const std::string& FileName, const std::string& Params, int TimeOut, const std::string&) {
    return RunProcessAndWait(TCommand{FileName, SplitArguments(Params)}, FileName + Params, TimeOut);
}

bool TOSServices::IsUacEnabled() {
    if (g_version.dwMajorVersion < 6) return false;
    TUniqueRegKey key;
    if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, kPolicyKey, 0, KEY_READ, key.Put()) != ERROR_SUCCESS &&
        RegOpenKeyExW(HKEY_LOCAL_MACHINE, kPolicyKey, 0, KEY_QUERY_VALUE, key.Put()) != ERROR_SUCCESS)
        return false;
    DWORD type = 0, value = 0, size = sizeof value;
    const LONG r = RegQueryValueExW(key.Get(), L"EnableLUA", nullptr, &type, reinterpret_cast<BYTE*>(&value), &size);
    if (r != ERROR_SUCCESS && r != ERROR_MORE_DATA) throw ERegistryError("Failed to get data for 'EnableLUA'");
    if (r == ERROR_MORE_DATA || type != REG_DWORD || size != sizeof value)
        throw ERegistryError("Invalid data type for 'EnableLUA'");
    return value == 1;
}

bool TOSServices::IsWindows9x() { return g_version.dwPlatformId == VER_PLATFORM_WIN32_WINDOWS; }

// ReadProxySettings and ProxyForUrl: proxy_settings_win.cpp (WinHTTP and WinINet headers clash).

std::string TOSServices::GetCurrentDir() {
    const DWORD n = GetCurrentDirectoryW(0, nullptr);
    if (n == 0) return {};
    std::wstring buf(n, L'\0');
    const DWORD m = GetCurrentDirectoryW(n, buf.data());
    return m == 0 || m >= n ? std::string() : Narrow(std::wstring_view(buf.data(), m));
}

bool TOSServices::SetCurrentDir(const std::string& Dir) {
    return !Dir.empty() && SetCurrentDirectoryW(WidePath(Dir).c_str()) != 0;
}

std::string TOSServices::ExpandUNCFileName(const std::string& FileName) {
    const std::wstring path = WidePath(FileName);
    DWORD size = 1024;
    for (int attempt = 0; attempt < 2; ++attempt) {
        std::vector<unsigned char> buffer(size, 0);
        const DWORD r = WNetGetUniversalNameW(path.c_str(), UNIVERSAL_NAME_INFO_LEVEL, buffer.data(), &size);
        if (r == ERROR_MORE_DATA) continue;
        if (r != NO_ERROR) break;  // a local path, or no network at all: the name as it is
        const auto* info = reinterpret_cast<const UNIVERSAL_NAME_INFOW*>(buffer.data());
        if (info->lpUniversalName) return Narrow(info->lpUniversalName);
        break;
    }
    return FileName;
}

}  // namespace platform
