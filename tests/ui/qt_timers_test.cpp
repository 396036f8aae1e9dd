// The forms' timers on real Qt timers: one freed while it runs never fires again.
// The fixture first: this file keeps it compiling on its own.
#include "tests/ui/qt_fixture.h"

#include <QElapsedTimer>

#include "ui/components.h"

using namespace ui;

namespace {
class QtTimers : public QtTest {
public:
    // Runs the event loop for about Ms milliseconds.
    void Spin(int Ms) {
        QElapsedTimer clock;
        clock.start();
        while (clock.elapsed() < Ms) runtime->ProcessMessages();
    }
};
}  // namespace

TEST_F(QtTimers, AFreedRunningTimerNeverFiresAgain) {
    int fired = 0, otherFired = 0;
    auto timer = std::make_unique<TTimer>(nullptr, "Ticker");
    timer->Interval = 5;
    timer->OnTimer = [&] { ++fired; };
    runtime->TimerChanged(*timer);
    TTimer other(nullptr, "Other");
    other.Interval = 5;
    other.OnTimer = [&] { ++otherFired; };
    runtime->TimerChanged(other);
    Spin(100);
    ASSERT_GT(fired, 0);

    // Freed from inside its own handler, as a form that closes on a tick does.
    timer->OnTimer = [&] {
        ++fired;
        timer.reset();
    };
    Spin(100);
    EXPECT_EQ(timer, nullptr);
    const int firedBefore = fired, otherBefore = otherFired;
    other.Interval = 6;
    runtime->TimerChanged(other);  // walks every known timer again
    Spin(100);
    EXPECT_EQ(fired, firedBefore);
    EXPECT_GT(otherFired, otherBefore);
}
