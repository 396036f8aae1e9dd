// Plays the user for the visual updater: "win_ui_driver PROGRAM [ARGS...]" starts PROGRAM in
// the current folder and, while it runs, presses Proceed when it is enabled, OK in the contact
// dialog, Yes (or OK) in every message box, and Close once the title reads "Done.". Prints
// what it saw and did, one line each, and ends with the program's exit code (99 when the
// program did not end within a minute and a half).
#include <windows.h>

#include <cstdio>
#include <set>
#include <string>
#include <vector>

namespace {
struct Child {
    HWND window;
    std::wstring cls, text;
    bool enabled;
};

std::wstring TextOf(HWND w) {
    wchar_t buffer[512] = {};
    GetWindowTextW(w, buffer, 512);
    return buffer;
}

std::wstring ClassOf(HWND w) {
    wchar_t buffer[64] = {};
    GetClassNameW(w, buffer, 64);
    return buffer;
}

std::vector<Child> ChildrenOf(HWND parent) {
    std::vector<Child> out;
    EnumChildWindows(
        parent,
        [](HWND w, LPARAM p) -> BOOL {
            if (IsWindowVisible(w))
                reinterpret_cast<std::vector<Child>*>(p)->push_back({w, ClassOf(w), TextOf(w), IsWindowEnabled(w) != 0});
            return TRUE;
        },
        reinterpret_cast<LPARAM>(&out));
    return out;
}

std::vector<HWND> TopWindowsOf(DWORD pid) {
    struct Search {
        DWORD pid;
        std::vector<HWND> found;
    } search{pid, {}};
    EnumWindows(
        [](HWND w, LPARAM p) -> BOOL {
            auto* s = reinterpret_cast<Search*>(p);
            DWORD owner = 0;
            GetWindowThreadProcessId(w, &owner);
            if (owner == s->pid && IsWindowVisible(w)) s->found.push_back(w);
            return TRUE;
        },
        reinterpret_cast<LPARAM>(&search));
    return search.found;
}

void Say(const char* what, const std::wstring& text) {
    std::string utf8(size_t(WideCharToMultiByte(CP_UTF8, 0, text.c_str(), -1, nullptr, 0, nullptr, nullptr)), '\0');
    WideCharToMultiByte(CP_UTF8, 0, text.c_str(), -1, utf8.data(), int(utf8.size()), nullptr, nullptr);
    std::printf("%s: %s\n", what, utf8.c_str());
    std::fflush(stdout);
}

// What the program shows, for the failure message when it does not end.
void Dump(DWORD pid) {
    for (HWND top : TopWindowsOf(pid)) {
        Say("window", ClassOf(top) + L" \"" + TextOf(top) + L"\"");
        for (const Child& c : ChildrenOf(top))
            Say(c.enabled ? "  control" : "  control (disabled)", c.cls + L" \"" + c.text + L"\"");
    }
}

// Posted, not sent: the click may open a modal loop in the program, which must not hold us.
void Press(HWND button) { PostMessageW(button, BM_CLICK, 0, 0); }

// One look at the program's windows; true once Close has been pressed.
bool Act(DWORD pid, std::set<HWND>& pressed) {
    for (HWND top : TopWindowsOf(pid)) {
        const std::vector<Child> children = ChildrenOf(top);
        if (ClassOf(top) == L"#32770") {  // a message or confirmation box
            if (pressed.count(top)) continue;
            for (const Child& c : children)
                if (c.cls == L"Static" && !c.text.empty()) Say("box", c.text);
            HWND yes = GetDlgItem(top, IDYES);
            HWND answer = yes ? yes : GetDlgItem(top, IDOK);
            if (!answer) continue;
            Say("answer", TextOf(answer));
            pressed.insert(top);
            Press(answer);
            continue;
        }
        bool done = false;
        for (const Child& c : children)
            if (c.text == L"Done.") done = true;
        for (const Child& c : children) {
            if (c.cls != L"Button" || !c.enabled || pressed.count(c.window)) continue;
            if (c.text == L"Proceed" || c.text == L"OK" || (done && c.text == L"&Close")) {
                Say("press", c.text);
                pressed.insert(c.window);
                Press(c.window);
                if (c.text == L"&Close") return true;
            }
        }
    }
    return false;
}
}  // namespace

int wmain(int argc, wchar_t** argv) {
    if (argc < 2) return 2;
    std::wstring line;
    for (int i = 1; i < argc; ++i) line += (i > 1 ? L" \"" : L"\"") + std::wstring(argv[i]) + L"\"";
    STARTUPINFOW si{};
    si.cb = sizeof si;
    PROCESS_INFORMATION pi{};
    if (!CreateProcessW(nullptr, line.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, &pi)) {
        std::printf("cannot start the program: %lu\n", GetLastError());
        return 2;
    }
    std::set<HWND> pressed;
    bool closed = false;
    DWORD waited = 0;
    while (WaitForSingleObject(pi.hProcess, 100) == WAIT_TIMEOUT) {
        waited += 100;
        if (!closed) closed = Act(pi.dwProcessId, pressed);
        if (waited > 90000) {
            std::printf("the program did not end; it shows:\n");
            Dump(pi.dwProcessId);
            TerminateProcess(pi.hProcess, 99);
            WaitForSingleObject(pi.hProcess, 5000);
            return 99;
        }
    }
    DWORD code = 0;
    GetExitCodeProcess(pi.hProcess, &code);
    std::printf("exit code: %lu%s\n", code, closed ? "" : " (ended before Close was pressed)");
    CloseHandle(pi.hThread);
    CloseHandle(pi.hProcess);
    return closed ? int(code) : 98;
}
