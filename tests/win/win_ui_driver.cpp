// Plays the user for the visual updater: "win_ui_driver [--shots DIR] [--probe]
// [--close-after MS] PROGRAM [ARGS...]"
// starts PROGRAM in the current folder and, while it runs, presses Proceed when it is enabled,
// OK in the contact dialog, Yes (or OK) in every message box, and Close once the title reads
// "Done.". Prints what it saw and did, one line each, and ends with the program's exit code
// (99 when the program did not end within a minute and a half). With --shots it first takes
// the client area of each window it is about to answer as DIR/win-<state>.bmp: downloading
// (the progress bar part-way), start (waiting for Proceed), contact (the dialog), question
// (a confirmation box), running (a file runs: the title and progress panels hidden) and done.
// With --probe it asks Windows every 250 ms whether each window of the program is hung
// (IsHungAppWindow) and sends it WM_NULL with a time-out of one second, and prints how many
// looks found a hung window or an unanswered message. With --close-after it presses Close
// MS ms after the start, whatever the window shows, and prints how long the program took to
// end after that press.
#include <windows.h>

#include <commctrl.h>

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
                reinterpret_cast<std::vector<Child>*>(p)->push_back(
                    {w, ClassOf(w), TextOf(w), IsWindowEnabled(w) != 0});
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

std::wstring g_shots;  // where pictures go; empty: none

// The client area of Window as the screen shows it, as a 24-bit BMP file.
void Shoot(HWND Window, const wchar_t* State, DWORD Settle = 400) {
    if (g_shots.empty()) return;
    Sleep(Settle);  // let it paint what the last step changed
    RECT rc;
    GetClientRect(Window, &rc);
    POINT origin{0, 0};
    ClientToScreen(Window, &origin);
    const int w = rc.right, h = rc.bottom;
    HDC screen = GetDC(nullptr);
    HDC memory = CreateCompatibleDC(screen);
    HBITMAP bitmap = CreateCompatibleBitmap(screen, w, h);
    HGDIOBJ old = SelectObject(memory, bitmap);
    BitBlt(memory, 0, 0, w, h, screen, origin.x, origin.y, SRCCOPY);
    SelectObject(memory, old);
    BITMAPINFOHEADER info{};
    info.biSize = sizeof info;
    info.biWidth = w;
    info.biHeight = h;
    info.biPlanes = 1;
    info.biBitCount = 24;
    info.biCompression = BI_RGB;
    const DWORD stride = (DWORD(w) * 3 + 3) & ~3u;
    std::vector<char> pixels(size_t(stride) * size_t(h));
    GetDIBits(memory, bitmap, 0, UINT(h), pixels.data(), reinterpret_cast<BITMAPINFO*>(&info), DIB_RGB_COLORS);
    DeleteObject(bitmap);
    DeleteDC(memory);
    ReleaseDC(nullptr, screen);
    BITMAPFILEHEADER file{};
    file.bfType = 0x4D42;
    file.bfOffBits = sizeof file + sizeof info;
    file.bfSize = file.bfOffBits + DWORD(pixels.size());
    const std::wstring path = g_shots + L"\\win-" + State + L".bmp";
    HANDLE out = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    if (out == INVALID_HANDLE_VALUE) return;
    DWORD written;
    WriteFile(out, &file, sizeof file, &written, nullptr);
    WriteFile(out, &info, sizeof info, &written, nullptr);
    WriteFile(out, pixels.data(), DWORD(pixels.size()), &written, nullptr);
    CloseHandle(out);
    Say("picture", path);
}

// Which of the system's icons a message box shows: "error", "question", "other" (an icon, not
// the system's own handle: Wine shows a copy) or "none".
std::wstring IconOf(HWND Box) {
    HICON shown = nullptr;
    for (const Child& c : ChildrenOf(Box))  // the static control that shows an icon
        if (c.cls == L"Static" && (GetWindowLongW(c.window, GWL_STYLE) & SS_TYPEMASK) == SS_ICON)
            shown = reinterpret_cast<HICON>(SendMessageW(c.window, STM_GETICON, 0, 0));
    if (!shown) return L"none";
    if (shown == LoadIconW(nullptr, IDI_ERROR)) return L"error";
    if (shown == LoadIconW(nullptr, IDI_QUESTION)) return L"question";
    return L"other";
}

// Posted, not sent: the click may open a modal loop in the program, which must not hold us.
void Press(HWND button) { PostMessageW(button, BM_CLICK, 0, 0); }

// One look at the program's windows; true once Close has been pressed.
bool Act(DWORD pid, std::set<HWND>& pressed) {
    static bool downloading = false;
    for (HWND top : TopWindowsOf(pid)) {
        const std::vector<Child> children = ChildrenOf(top);
        if (ClassOf(top) == L"#32770") {  // a message or confirmation box
            if (pressed.count(top)) continue;
            for (const Child& c : children)
                if (c.cls == L"Static" && !c.text.empty()) Say("box", c.text);
            Say("box icon", IconOf(top));
            Shoot(top, L"question");
            HWND yes = GetDlgItem(top, IDYES);
            HWND answer = yes ? yes : GetDlgItem(top, IDOK);
            if (!answer) continue;
            Say("answer", TextOf(answer));
            pressed.insert(top);
            Press(answer);
            continue;
        }
        bool done = false, main = false;
        for (const Child& c : children) {
            if (c.text == L"Done.") done = true;
            if (c.text == L"&Close") main = true;
        }
        // Close is disabled only while a file runs.
        static bool running = false;
        bool closeDisabled = false;
        for (const Child& c : children)
            if (c.text == L"&Close" && !c.enabled) closeDisabled = true;
        if (!running && closeDisabled) {
            running = true;
            Shoot(top, L"running", 0);  // BeforeRunFile painted it; a short run ends soon
        }
        for (const Child& c : children) {
            if (!main || downloading || c.cls != L"msctls_progress32") continue;
            const LRESULT at = SendMessageW(c.window, PBM_GETPOS, 0, 0);
            if (at > 0 && at < SendMessageW(c.window, PBM_GETRANGE, FALSE, 0)) {
                downloading = true;
                Shoot(top, L"downloading", 0);
            }
        }
        for (const Child& c : children) {
            if (c.cls != L"Button" || !c.enabled || pressed.count(c.window)) continue;
            if (c.text == L"Proceed" || c.text == L"OK" || (done && c.text == L"&Close")) {
                Shoot(top, c.text == L"Proceed" ? L"start" : c.text == L"OK" ? L"contact" : L"done");
                Say("press", c.text);
                pressed.insert(c.window);
                Press(c.window);
                if (c.text == L"&Close") return true;
            }
        }
    }
    return false;
}

// One look at whether the program's windows take their messages.
struct Probe {
    int looks = 0, hung = 0, unanswered = 0;
    void Look(DWORD pid) {
        ++looks;
        bool anyHung = false, anyUnanswered = false;
        for (HWND top : TopWindowsOf(pid)) {
            if (IsHungAppWindow(top)) anyHung = true;
            DWORD_PTR result = 0;
            if (!SendMessageTimeoutW(top, WM_NULL, 0, 0, SMTO_NORMAL, 1000, &result)) anyUnanswered = true;
        }
        hung += anyHung;
        unanswered += anyUnanswered;
    }
};

// Presses the program's Close button, enabled or not as the window says; true when found.
bool PressClose(DWORD pid) {
    for (HWND top : TopWindowsOf(pid))
        for (const Child& c : ChildrenOf(top))
            if (c.cls == L"Button" && c.text == L"&Close" && c.enabled) {
                Say("press", c.text);
                Press(c.window);
                return true;
            }
    return false;
}
}  // namespace

int wmain(int argc, wchar_t** argv) {
    int first = 1;
    bool probing = false;
    DWORD closeAfter = 0;
    for (;;) {
        const std::wstring option = first < argc ? argv[first] : L"";
        if (option == L"--shots" && first + 1 < argc) {
            g_shots = argv[first + 1];
            first += 2;
        } else if (option == L"--close-after" && first + 1 < argc) {
            closeAfter = DWORD(_wtoi(argv[first + 1]));
            first += 2;
        } else if (option == L"--probe") {
            probing = true;
            ++first;
        } else {
            break;
        }
    }
    if (argc <= first) return 2;
    std::wstring line;
    for (int i = first; i < argc; ++i) line += (i > first ? L" \"" : L"\"") + std::wstring(argv[i]) + L"\"";
    STARTUPINFOW si{};
    si.cb = sizeof si;
    PROCESS_INFORMATION pi{};
    if (!CreateProcessW(nullptr, line.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, &pi)) {
        std::printf("cannot start the program: %lu\n", GetLastError());
        return 2;
    }
    std::set<HWND> pressed;
    bool closed = false;
    DWORD waited = 0, closedAt = 0, lastLook = 0;
    Probe probe;
    const DWORD begun = GetTickCount();
    while (WaitForSingleObject(pi.hProcess, probing ? 50 : 100) == WAIT_TIMEOUT) {
        waited = GetTickCount() - begun;
        if (probing && waited - lastLook >= 250) {
            lastLook = waited;
            probe.Look(pi.dwProcessId);
        }
        if (closeAfter) {
            Act(pi.dwProcessId, pressed);  // a box is still answered, and reported
            if (!closed && waited >= closeAfter && PressClose(pi.dwProcessId)) {
                closed = true;
                closedAt = GetTickCount();
            }
        } else if (!closed) {
            closed = Act(pi.dwProcessId, pressed);
        }
        if (waited > 90000) {
            std::printf("the program did not end; it shows:\n");
            Dump(pi.dwProcessId);
            TerminateProcess(pi.hProcess, 99);
            WaitForSingleObject(pi.hProcess, 5000);
            return 99;
        }
    }
    if (closedAt) std::printf("ended after Close: %lu ms\n", GetTickCount() - closedAt);
    if (probing)
        std::printf("probe: %d looks, %d found a hung window, %d an unanswered message\n", probe.looks, probe.hung,
                    probe.unanswered);
    DWORD code = 0;
    GetExitCodeProcess(pi.hProcess, &code);
    std::printf("exit code: %lu%s\n", code, closed ? "" : " (ended before Close was pressed)");
    CloseHandle(pi.hThread);
    CloseHandle(pi.hProcess);
    return closed ? int(code) : 98;
}
