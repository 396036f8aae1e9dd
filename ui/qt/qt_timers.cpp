#include "ui/qt/qt_timers.h"

#include <algorithm>

namespace ui::qt {

TQtTimers::~TQtTimers() {
    for (auto& [t, binding] : timers_) delete binding.Timer.data();
}

void TQtTimers::Changed(TTimer& Timer) {
    Binding& binding = timers_[&Timer];
    binding.Owner = Timer.Owner;
    if (!binding.Timer) {
        auto* q = new QTimer;
        binding.Timer = q;
        TTimer* t = &Timer;
        TEventSink* sink = &sink_;
        QObject::connect(q, &QTimer::timeout, q, [sink, t] {
            if (t->Enabled && t->OnTimer) CallHandler(*sink, t->OnTimer);
        });
    }
    Sync();
}

void TQtTimers::Sync() {
    for (auto& [t, binding] : timers_) {
        QTimer* q = binding.Timer;
        if (!q) continue;
        const int interval = std::max(0, t->Interval);
        if (q->interval() != interval) q->setInterval(interval);
        const bool run = t->Enabled && t->OnTimer && t->Interval > 0;
        if (run && !q->isActive()) q->start();
        if (!run && q->isActive()) q->stop();
    }
}

void TQtTimers::Freed(TTimer& Timer) {
    const auto it = timers_.find(&Timer);
    if (it == timers_.end()) return;
    // Later, not now: the timer may be freed from inside its own handler.
    if (QTimer* q = it->second.Timer) {
        q->stop();
        q->deleteLater();
    }
    timers_.erase(it);
}

void TQtTimers::DropOwnedBy(const TComponent* Owner) {
    for (auto it = timers_.begin(); it != timers_.end();) {
        if (it->second.Owner != Owner) {
            ++it;
            continue;
        }
        if (QTimer* q = it->second.Timer) {
            q->stop();
            q->deleteLater();
        }
        it = timers_.erase(it);
    }
}

}  // namespace ui::qt
