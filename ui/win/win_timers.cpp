#include "ui/win/win_timers.h"

#include <algorithm>

namespace ui::win {

namespace {
const wchar_t* const kTimerClass = L"ZelTimers";
}

TWinTimers::TWinTimers(TEventSink& Sink) : sink_(Sink) {
    static const bool registered = [] {
        WNDCLASSEXW wc{};
        wc.cbSize = sizeof wc;
        wc.lpfnWndProc = &TWinTimers::Proc;
        wc.hInstance = GetModuleHandleW(nullptr);
        wc.lpszClassName = kTimerClass;
        return RegisterClassExW(&wc) != 0;
    }();
    (void)registered;
    window_.reset(
        CreateWindowExW(0, kTimerClass, L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, GetModuleHandleW(nullptr), nullptr));
    SetWindowLongPtrW(window_.get(), GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
}

LRESULT CALLBACK TWinTimers::Proc(HWND w, UINT msg, WPARAM wp, LPARAM lp) {
    if (msg == WM_TIMER) {
        if (auto* self = reinterpret_cast<TWinTimers*>(GetWindowLongPtrW(w, GWLP_USERDATA))) self->Fire(wp);
        return 0;
    }
    return DefWindowProcW(w, msg, wp, lp);
}

void TWinTimers::Fire(UINT_PTR Id) {
    for (auto& [t, binding] : timers_)
        if (binding.Id == Id) {
            if (t->Enabled && t->OnTimer) CallHandler(sink_, t->OnTimer);
            return;  // the handler may have freed the timer: the map is not touched again
        }
}

void TWinTimers::Changed(TTimer& Timer) {
    Binding& b = timers_[&Timer];
    if (!b.Id) b.Id = nextId_++;
    Sync();
}

void TWinTimers::Stop(UINT_PTR Id) { KillTimer(window_.get(), Id); }

void TWinTimers::Sync() {
    for (auto& [t, binding] : timers_) {
        const bool run = t->Enabled && t->OnTimer && t->Interval > 0;
        const int interval = run ? t->Interval : 0;
        if (interval == binding.Running) continue;
        if (run)
            SetTimer(window_.get(), binding.Id, UINT(interval), nullptr);
        else
            Stop(binding.Id);
        binding.Running = interval;
    }
}

void TWinTimers::Freed(TTimer& Timer) {
    auto it = timers_.find(&Timer);
    if (it == timers_.end()) return;
    Stop(it->second.Id);
    timers_.erase(it);
}

void TWinTimers::DropOwnedBy(const TComponent* Owner) {
    for (auto it = timers_.begin(); it != timers_.end();) {
        if (it->first->Owner != Owner) {
            ++it;
            continue;
        }
        Stop(it->second.Id);
        it = timers_.erase(it);
    }
}

}  // namespace ui::win
