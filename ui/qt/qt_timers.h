#pragma once
// The forms' timers as Qt timers. A timer is known until the form that owns it goes.
#include <QPointer>
#include <QTimer>
#include <map>

#include "ui/components.h"
#include "ui/qt/qt_binder.h"

namespace ui::qt {

class TQtTimers {
public:
    explicit TQtTimers(TEventSink& Sink) : sink_(Sink) {}
    ~TQtTimers();
    TQtTimers(const TQtTimers&) = delete;
    TQtTimers& operator=(const TQtTimers&) = delete;

    // Timer is new, or its Enabled or Interval changed.
    void Changed(TTimer& Timer);
    // Starts and stops the Qt timers as their state says.
    void Sync();
    // The timers of a form that goes away.
    void DropOwnedBy(const TComponent* Owner);
    // A timer freed on its own, perhaps while running: its Qt timer must never fire again,
    // and the next Sync must not read it.
    void Freed(TTimer& Timer);

private:
    struct Binding {
        QPointer<QTimer> Timer;
        const TComponent* Owner = nullptr;
    };
    TEventSink& sink_;
    std::map<TTimer*, Binding> timers_;
};

}  // namespace ui::qt
