#pragma once
// The forms' timers as window-system timers on one message-only window. A timer is known
// until it is freed or the form that owns it goes.
#include <windows.h>

#include <map>

#include "ui/components.h"
#include "ui/win/win_binder.h"
#include "ui/win/win_handles.h"

namespace ui::win {

class TWinTimers {
public:
    explicit TWinTimers(TEventSink& Sink);
    TWinTimers(const TWinTimers&) = delete;
    TWinTimers& operator=(const TWinTimers&) = delete;

    // Timer is new, or its Enabled or Interval changed.
    void Changed(TTimer& Timer);
    // Starts and stops the system's timers as their state says.
    void Sync();
    void Freed(TTimer& Timer);
    // The timers of a form that goes away.
    void DropOwnedBy(const TComponent* Owner);

private:
    static LRESULT CALLBACK Proc(HWND, UINT, WPARAM, LPARAM);
    void Fire(UINT_PTR Id);
    void Stop(UINT_PTR Id);

    struct Binding {
        UINT_PTR Id = 0;
        int Running = 0;  // the interval the system's timer runs with; 0 when stopped
    };
    TEventSink& sink_;
    TOwnedWindow window_;
    std::map<TTimer*, Binding> timers_;
    UINT_PTR nextId_ = 1;
};

}  // namespace ui::win
