#include "tests/ui/win/win_fixture.h"

#include <windows.h>

#include <richedit.h>

#include "platform/wide_text_win.h"

using namespace platform;
using namespace ui::win;
using namespace ui;

namespace {
WinTest* g_current = nullptr;
}

void WinTest::SetUp() {
    runtime = std::make_unique<TWinRuntime>();
    SetRuntime(runtime.get());
    Application().Title = "Brinquet\xC2\xAE Express Updater";
    Application().MainForm = nullptr;
    Application().Events = nullptr;
    g_current = this;
    timer_ = SetTimer(nullptr, 0, 30, &WinTest::Tick);
}

void WinTest::TearDown() {
    KillTimer(nullptr, timer_);
    g_current = nullptr;
    SetRuntime(nullptr);
    runtime.reset();
}

RECT WinTest::Place(const TControl& c) const {
    HWND w = runtime->WindowOf(c);
    RECT r{};
    if (!w) return r;
    GetWindowRect(w, &r);
    MapWindowPoints(nullptr, GetParent(w), reinterpret_cast<POINT*>(&r), 2);
    HWND root = GetAncestor(w, GA_ROOT);
    const int dpi = GetDpiForWindow(root);
    return RECT{MulDiv(r.left, 96, dpi), MulDiv(r.top, 96, dpi), MulDiv(r.right, 96, dpi), MulDiv(r.bottom, 96, dpi)};
}

int WinTest::ScreenPixels(const TControl& c, int LayoutPixels) const {
    return MulDiv(LayoutPixels, int(GetDpiForWindow(GetAncestor(Window(c), GA_ROOT))), 96);
}

SIZE WinTest::ClientSize(const TForm& f) const {
    HWND w = runtime->WindowOf(f);
    RECT r{};
    GetClientRect(w, &r);
    const int dpi = GetDpiForWindow(w);
    return SIZE{MulDiv(r.right, 96, dpi), MulDiv(r.bottom, 96, dpi)};
}

bool WinTest::PumpUntil(const std::function<bool()>& Done) {
    const DWORD start = GetTickCount();
    while (!Done()) {
        if (GetTickCount() - start > 1000) return false;
        runtime->ProcessMessages();
        Sleep(5);
    }
    return true;
}

void WinTest::AnswerBoxes(std::vector<int> Ids) { answers_.insert(answers_.end(), Ids.begin(), Ids.end()); }
void WinTest::Soon(std::function<void()> Action) { soon_.push_back(std::move(Action)); }

// Runs on the test's own thread, from whichever message loop is running: a box's, a modal
// dialog's or the runtime's.
void CALLBACK WinTest::Tick(HWND, UINT, UINT_PTR, DWORD) {
    WinTest* t = g_current;
    if (!t) return;
    if (!t->soon_.empty()) {
        auto action = std::move(t->soon_.front());
        t->soon_.erase(t->soon_.begin());
        action();
    }
    if (t->answers_.empty()) return;
    // A message box of this thread is a dialog (#32770) whose text is its static control.
    struct Found {
        HWND box = nullptr;
    } found;
    EnumThreadWindows(
        GetCurrentThreadId(),
        [](HWND w, LPARAM lp) -> BOOL {
            wchar_t cls[16] = {};
            GetClassNameW(w, cls, 16);
            if (lstrcmpW(cls, L"#32770") || !IsWindowVisible(w)) return TRUE;
            reinterpret_cast<Found*>(lp)->box = w;
            return FALSE;
        },
        reinterpret_cast<LPARAM>(&found));
    if (!found.box) return;
    t->boxes.push_back({Text(found.box), Text(GetDlgItem(found.box, 0xFFFF))});
    const int id = t->answers_.front();
    t->answers_.erase(t->answers_.begin());
    PostMessageW(found.box, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED), LPARAM(GetDlgItem(found.box, id)));
}

std::string Text(HWND w) {
    const int n = GetWindowTextLengthW(w);
    std::wstring s(size_t(n) + 1, L'\0');
    s.resize(size_t(GetWindowTextW(w, s.data(), n + 1)));
    return Narrow(s);
}

std::vector<MemoLine> MemoLines(HWND w) {
    std::vector<MemoLine> out;
    GETTEXTLENGTHEX len{GTL_NUMCHARS | GTL_PRECISE, 1200};
    const LONG total = LONG(SendMessageW(w, EM_GETTEXTLENGTHEX, WPARAM(&len), 0));
    std::wstring all(size_t(total) + 1, L'\0');
    TEXTRANGEW tr{{0, total}, all.data()};
    all.resize(size_t(SendMessageW(w, EM_GETTEXTRANGE, 0, LPARAM(&tr))));
    LONG start = 0;
    while (start <= LONG(all.size())) {
        size_t end = all.find(L'\r', size_t(start));
        if (end == std::wstring::npos) end = all.size();
        if (end == size_t(start) && end == all.size() && !out.empty()) break;
        CHARRANGE first{start, start + 1};
        SendMessageW(w, EM_EXSETSEL, 0, LPARAM(&first));
        CHARFORMAT2W cf{};
        cf.cbSize = sizeof cf;
        SendMessageW(w, EM_GETCHARFORMAT, SCF_SELECTION, LPARAM(&cf));
        out.push_back(
            {Narrow(all.substr(size_t(start), end - size_t(start))), cf.crTextColor, (cf.dwEffects & CFE_BOLD) != 0});
        start = LONG(end) + 1;
    }
    return out;
}

LOGFONTW FontOf(HWND w) {
    LOGFONTW lf{};
    GetObjectW(reinterpret_cast<HFONT>(SendMessageW(w, WM_GETFONT, 0, 0)), sizeof lf, &lf);
    return lf;
}

int MemoFontHeight(HWND w) {
    CHARFORMAT2W cf{};
    cf.cbSize = sizeof cf;
    SendMessageW(w, EM_GETCHARFORMAT, SCF_DEFAULT, LPARAM(&cf));
    return MulDiv(cf.yHeight, 96, 1440);  // twips at 96 dots per inch
}
