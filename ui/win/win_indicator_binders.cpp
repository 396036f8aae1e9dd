// What shows progress: the progress bar and the busy indicator, the system's find-file
// animation played by SysAnimate32. Where the system cannot play that clip (Wine), a ring of
// eight dots stands in, one step every 100 ms.
#include <windows.h>

#include <commctrl.h>

#include <algorithm>
#include <cmath>

#include "ui/win/win_binder.h"
#include "ui/win/win_style.h"

namespace ui::win {

namespace {
class TProgressBarView final : public TWinView<TProgressBar> {
public:
    TProgressBarView(TProgressBar& State, const TWinPlace& Place, TEventSink&) : TWinView(State) {
        window_ = MakeChild(PROGRESS_CLASSW, 0, 0, Place);
    }
    void Sync(RECT&, int) override {
        const TProgressBar& p = state_;
        const int max = std::max(p.Max, p.Min + 1);  // an empty range shows an empty bar
        if (p.Min != min_ || max != max_) {
            SendMessageW(window_, PBM_SETRANGE32, WPARAM(p.Min), LPARAM(max));
            min_ = p.Min, max_ = max;
        }
        const int value = std::clamp(p.Position, p.Min, max);
        if (SendMessageW(window_, PBM_GETPOS, 0, 0) != value) SendMessageW(window_, PBM_SETPOS, WPARAM(value), 0);
        const COLORREF bar = ResolveColor(p.BarColor);
        if (bar != bar_) {
            SendMessageW(window_, PBM_SETBARCOLOR, 0, LPARAM(bar));  // themed bars keep the theme's
            bar_ = bar;
        }
    }

private:
    int min_ = 0, max_ = 100;
    COLORREF bar_ = CLR_INVALID;
};

// The system's find-file animation, a resource of shell32.
constexpr int kFindFileClip = 150;
const wchar_t* const kStandInClass = L"ZelBusyIndicator";
constexpr UINT_PTR kStepTimer = 1;

LRESULT CALLBACK StandInProc(HWND w, UINT msg, WPARAM wp, LPARAM lp) {
    // Extra bytes: the frame shown (0 based), the first and the last frame.
    const int frame = int(GetWindowLongPtrW(w, 0)), first = int(GetWindowLongPtrW(w, sizeof(LONG_PTR))),
              last = int(GetWindowLongPtrW(w, 2 * sizeof(LONG_PTR)));
    switch (msg) {
    case WM_TIMER:
        SetWindowLongPtrW(w, 0, frame >= last ? first : frame + 1);
        InvalidateRect(w, nullptr, FALSE);
        return 0;
    case WM_ERASEBKGND: return 1;
    case WM_PAINT: {
        PAINTSTRUCT ps;
        HDC dc = BeginPaint(w, &ps);
        RECT r;
        GetClientRect(w, &r);
        FillRect(dc, &r, GetSysColorBrush(COLOR_BTNFACE));
        const double cx = r.right / 2.0, cy = r.bottom / 2.0, ring = std::min(r.right, r.bottom) * 0.36;
        const double dot = std::max(1.0, std::min(r.right, r.bottom) / 8.0);
        for (int i = 0; i < 8; ++i) {
            const int age = ((frame - i) % 8 + 8) % 8;  // 0: the bright head
            const int shade = std::min(224, 40 + age * 26);
            HBRUSH b = CreateSolidBrush(RGB(shade, shade, age == 0 ? 255 : shade));
            HGDIOBJ ob = SelectObject(dc, b), op = SelectObject(dc, GetStockObject(NULL_PEN));
            const double a = i * 3.14159265358979 / 4;
            const double x = cx + ring * std::sin(a), y = cy - ring * std::cos(a);
            Ellipse(dc, int(x - dot), int(y - dot), int(x + dot + 1), int(y + dot + 1));
            SelectObject(dc, ob), SelectObject(dc, op);
            DeleteObject(b);
        }
        EndPaint(w, &ps);
        return 0;
    }
    }
    return DefWindowProcW(w, msg, wp, lp);
}

HWND MakeStandIn(const TWinPlace& Place) {
    static const bool registered = [] {
        WNDCLASSEXW wc{};
        wc.cbSize = sizeof wc;
        wc.lpfnWndProc = &StandInProc;
        wc.cbWndExtra = 3 * sizeof(LONG_PTR);
        wc.hInstance = GetModuleHandleW(nullptr);
        wc.lpszClassName = kStandInClass;
        return RegisterClassExW(&wc) != 0;
    }();
    (void)registered;
    return MakeChild(kStandInClass, 0, 0, Place);
}

class TAnimateView final : public TWinView<TAnimate> {
public:
    TAnimateView(TAnimate& State, const TWinPlace& Place, TEventSink&) : TWinView(State) {
        window_ = MakeChild(ANIMATE_CLASSW, ACS_TRANSPARENT | ACS_CENTER, 0, Place);
        static HMODULE shell = LoadLibraryExW(L"shell32.dll", nullptr, LOAD_LIBRARY_AS_DATAFILE);
        // The clip counts as there when it plays (Wine opens it but cannot play it).
        if (window_ && shell &&
            SendMessageW(window_, ACM_OPENW, WPARAM(shell), LPARAM(MAKEINTRESOURCEW(kFindFileClip))) &&
            SendMessageW(window_, ACM_PLAY, WPARAM(-1), MAKELPARAM(0, 0xFFFF)) &&
            SendMessageW(window_, ACM_ISPLAYING, 0, 0)) {
            SendMessageW(window_, ACM_STOP, 0, 0);
            return;
        }
        if (window_) DestroyWindow(window_);
        window_ = MakeStandIn(Place);
        standIn_ = true;
    }

    void Sync(RECT&, int) override {
        const bool run = state_.Active && state_.Visible;
        const int first = std::max(0, state_.StartFrame - 1), last = std::max(first, state_.StopFrame - 1);  // 0 based
        if (run == running_ && first == first_ && last == last_) return;
        running_ = run, first_ = first, last_ = last;
        if (standIn_) {
            SetWindowLongPtrW(window_, sizeof(LONG_PTR), first);
            SetWindowLongPtrW(window_, 2 * sizeof(LONG_PTR), last);
            SetWindowLongPtrW(window_, 0, first);
            if (run)
                SetTimer(window_, kStepTimer, 100, nullptr);
            else
                KillTimer(window_, kStepTimer);
            InvalidateRect(window_, nullptr, FALSE);
        } else if (run) {
            // Over and over; a clip shorter than the frames named plays whole.
            if (!SendMessageW(window_, ACM_PLAY, WPARAM(-1), MAKELPARAM(first, last)))
                SendMessageW(window_, ACM_PLAY, WPARAM(-1), MAKELPARAM(0, 0xFFFF));
        } else {
            SendMessageW(window_, ACM_STOP, 0, 0);
        }
    }

private:
    bool standIn_ = false;
    bool running_ = false;
    int first_ = -1, last_ = -1;
};
}  // namespace

void AddIndicatorBinders(TWinBinders& Binders) {
    Binders.Add<TProgressBar, TProgressBarView>(TComponentKind::ProgressBar);
    Binders.Add<TAnimate, TAnimateView>(TComponentKind::Animate);
}

}  // namespace ui::win
