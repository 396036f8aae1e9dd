#pragma once
// The clock the log stamps its entries with, replaceable so tests can compare whole lines.
#include <ctime>
#include <functional>
#include <string>

namespace engine {

struct TLocalDateTime {
    std::tm Time{};
    int Milliseconds = 0;
};

using TLogClock = std::function<TLocalDateTime()>;

// The clock in force: the system's local date and time unless a test installed another.
TLocalDateTime LogClockNow();
// Installs Clock until it is called again; an empty one restores the system's.
void SetLogClock(TLogClock Clock);

// The stamp as the user's locale writes it: short date, a blank, long time; the time is left
// out at exactly midnight.
std::string LogStampText(const TLocalDateTime& When);

}  // namespace engine
