#include <windows.h>

#include <algorithm>
#include <chrono>
#include <vector>

#include "platform/errors.h"
#include "platform/file_utils.h"
#include "platform/os_error.h"
#include "platform/process_runner.h"
#include "platform/unique_handle_win.h"
#include "platform/wait_hook.h"
#include "platform/wide_text_win.h"

namespace platform {

bool EnsureExecutable(const std::string& FileName) { return FileExists(FileName); }  // no execute bit here

bool LiesInFolder(const std::string& FileName, const std::string& Folder) {
    if (Folder.empty()) return false;
    auto full = [](const std::string& Path) {
        const std::wstring w = WidePath(Path);
        const DWORD n = GetFullPathNameW(w.c_str(), 0, nullptr, nullptr);
        std::wstring out(n, L'\0');
        const DWORD m = n ? GetFullPathNameW(w.c_str(), n, out.data(), nullptr) : 0;
        out.resize(m < n ? m : 0);
        return out;
    };
    std::wstring file = full(FileName), dir = full(Folder);
    if (file.empty() || dir.empty()) return false;
    if (dir.back() != L'\\') dir += L'\\';
    return file.size() > dir.size() &&
           CompareStringOrdinal(file.c_str(), int(dir.size()), dir.c_str(), int(dir.size()), TRUE) == CSTR_EQUAL;
}

namespace {
// How long a waited run goes without a look at the window when no message arrives.
constexpr DWORD kPumpSliceMs = 50;

// One argument as the C runtime's parser reads it back (CommandLineToArgvW's rules):
// quoted when it holds blanks or quotes, backslashes doubled before a quote.
std::wstring Quoted(const std::wstring& Arg) {
    if (!Arg.empty() && Arg.find_first_of(L" \t\"") == std::wstring::npos) return Arg;
    std::wstring out = L"\"";
    size_t slashes = 0;
    for (wchar_t c : Arg) {
        if (c == L'\\') {
            ++slashes;
            continue;
        }
        out.append(c == L'"' ? slashes * 2 + 1 : slashes, L'\\');
        slashes = 0;
        out += c;
    }
    out.append(slashes * 2, L'\\');
    return out + L"\"";
}
}  // namespace

int RunProcessAndWait(const TCommand& Command, const std::string& CommandLine, int TimeOut) {
    STARTUPINFOW si{};
    si.cb = sizeof si;
    si.dwFlags = STARTF_USESHOWWINDOW;
    si.wShowWindow = SW_SHOWNORMAL;
    using Clock = std::chrono::steady_clock;  // GetTickCount64 ticks in 10-16 ms steps: too coarse
    const bool limited = TimeOut > 0;
    const Clock::time_point start = limited ? Clock::now() : Clock::time_point();

    // The very file listed, never a search along a command line split at blanks; its
    // arguments quoted so the program reads them back as they were given.
    const std::wstring program = WidePath(Command.Program);
    std::wstring line = Quoted(program);
    for (const std::string& a : Command.Arguments) line += L" " + Quoted(Widen(a));
    std::vector<wchar_t> buffer(line.begin(), line.end());
    buffer.push_back(L'\0');
    PROCESS_INFORMATION pi{};
    if (!CreateProcessW(program.c_str(), buffer.data(), nullptr, nullptr, TRUE, NORMAL_PRIORITY_CLASS, nullptr, nullptr,
                        &si, &pi)) {
        const int err = int(GetLastError());
        throw EOSError("A problem occurred when trying to run " + CommandLine + "\r" +
                           "The exception was: " + SystemErrorMessage(err),
                       err);
    }
    TUniqueHandle process(pi.hProcess), thread(pi.hThread);

    // The end is the process handle becoming signalled, not the exit code leaving 259
    // (STILL_ACTIVE): a program may end with 259 itself.
    // "Whole milliseconds elapsed greater than TimeOut": the limit is passed TimeOut + 1 ms in.
    const Clock::time_point deadline = start + std::chrono::milliseconds(int64_t(TimeOut) + 1);
    for (;;) {
        DWORD wait = INFINITE;
        if (limited) {
            const Clock::time_point now = Clock::now();
            // Rounded up: the wait must not end before the deadline.
            wait = now >= deadline ? 0 : DWORD(std::chrono::ceil<std::chrono::milliseconds>(deadline - now).count());
        }
        // With a window to keep alive, the wait also ends when a message arrives, and the
        // messages run before the next wait; the program is never stopped for them.
        const bool pumping = HasWaitHook();
        HANDLE h = process.Get();
        const DWORD r = pumping
                            ? MsgWaitForMultipleObjects(1, &h, FALSE, std::min<DWORD>(wait, kPumpSliceMs), QS_ALLINPUT)
                            : WaitForSingleObject(h, wait);
        if (r == WAIT_OBJECT_0) break;
        if (pumping && r != WAIT_FAILED) RunWaitHook();
        if (r == WAIT_FAILED) throw OSErrorFromErrno(int(GetLastError()));
        if (limited && Clock::now() >= deadline) {
            TerminateProcess(process.Get(), 0);  // only the started process; programs it started run on
            WaitForSingleObject(process.Get(), 5000);
            throw EUpdaterError(CommandLine + " exceeded timeout setting and has been closed.");
        }
    }
    DWORD code = 0;
    if (!GetExitCodeProcess(process.Get(), &code)) throw OSErrorFromErrno(int(GetLastError()));
    return int(code);
}

int StartDetached(const std::string& Program, const std::vector<std::string>& Arguments) {
    std::string line = "\"" + Program + "\"";
    for (const std::string& a : Arguments) line += " \"" + a + "\"";
    std::wstring wide = Widen(line);
    std::vector<wchar_t> buffer(wide.begin(), wide.end());
    buffer.push_back(L'\0');
    STARTUPINFOW si{};
    si.cb = sizeof si;
    PROCESS_INFORMATION pi{};
    if (!CreateProcessW(nullptr, buffer.data(), nullptr, nullptr, FALSE, DETACHED_PROCESS, nullptr, nullptr, &si, &pi))
        return int(GetLastError());
    CloseHandle(pi.hThread);
    CloseHandle(pi.hProcess);
    return 0;
}

}  // namespace platform
