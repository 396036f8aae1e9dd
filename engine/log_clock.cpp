#include "engine/log_clock.h"

#include <chrono>

namespace engine {

namespace {
TLocalDateTime SystemNow() {
    const auto now = std::chrono::system_clock::now();
    const std::time_t t = std::chrono::system_clock::to_time_t(now);
    TLocalDateTime when;
    when.Milliseconds =
        int(std::chrono::duration_cast<std::chrono::milliseconds>(now.time_since_epoch()).count() % 1000);
    localtime_r(&t, &when.Time);
    return when;
}

TLogClock& InstalledClock() {
    static TLogClock clock;
    return clock;
}
}  // namespace

TLocalDateTime LogClockNow() { return InstalledClock() ? InstalledClock()() : SystemNow(); }

void SetLogClock(TLogClock Clock) { InstalledClock() = std::move(Clock); }

std::string LogStampText(const TLocalDateTime& When) {
    const std::tm& tm = When.Time;
    const bool midnight = tm.tm_hour == 0 && tm.tm_min == 0 && tm.tm_sec == 0 && When.Milliseconds == 0;
    char buf[128];
    // The log writes the locale's short date, two-digit year included, as it always has.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wformat-y2k"
    std::strftime(buf, sizeof buf, midnight ? "%x" : "%x %X", &tm);
#pragma GCC diagnostic pop
    return buf;
}

}  // namespace engine
