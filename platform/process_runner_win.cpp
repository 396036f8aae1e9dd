#include <windows.h>

#include <chrono>
#include <vector>

#include "platform/errors.h"
#include "platform/file_utils.h"
#include "platform/os_error.h"
#include "platform/process_runner.h"
#include "platform/unique_handle_win.h"
#include "platform/wide_text_win.h"

bool EnsureExecutable(const std::string& FileName) { return FileExists(FileName); }  // no execute bit here

int RunProcessAndWait(const std::string& CommandLine, int TimeOut) {
    STARTUPINFOW si{};
    si.cb = sizeof si;
    si.dwFlags = STARTF_USESHOWWINDOW;
    si.wShowWindow = SW_SHOWNORMAL;
    using Clock = std::chrono::steady_clock;  // GetTickCount64 ticks in 10-16 ms steps: too coarse
    const bool limited = TimeOut > 0;
    const Clock::time_point start = limited ? Clock::now() : Clock::time_point();

    // The system parses the command line itself; CreateProcessW may write into it.
    std::wstring line = Widen(CommandLine);
    std::vector<wchar_t> buffer(line.begin(), line.end());
    buffer.push_back(L'\0');
    PROCESS_INFORMATION pi{};
    if (!CreateProcessW(nullptr, buffer.data(), nullptr, nullptr, TRUE, NORMAL_PRIORITY_CLASS, nullptr, nullptr,
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
            wait = now >= deadline ? 0
                                   : DWORD(std::chrono::ceil<std::chrono::milliseconds>(deadline - now).count());
        }
        const DWORD r = WaitForSingleObject(process.Get(), wait);
        if (r == WAIT_OBJECT_0) break;
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
    if (!CreateProcessW(nullptr, buffer.data(), nullptr, nullptr, FALSE, DETACHED_PROCESS, nullptr, nullptr, &si,
                        &pi))
        return int(GetLastError());
    CloseHandle(pi.hThread);
    CloseHandle(pi.hProcess);
    return 0;
}
