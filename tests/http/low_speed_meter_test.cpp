// The low-speed rule on its own: waits and the bytes they ended with, no clock and no server.
#include <gtest/gtest.h>

#include <utility>
#include <vector>

#include "http/low_speed_meter.h"

using namespace http;

TEST(LowSpeedMeter, FailsOnlyAWholeWindowBelowTheLimit) {
    struct {
        const char* Name;
        int Limit, Window;
        std::vector<std::pair<int64_t, int64_t>> Waits;  // (waited ms, bytes)
        int FailsAt;                                     // index of the failing wait, -1: none
    } const cases[] = {
        {"a drip: 1 byte a second", 100, 10000, std::vector<std::pair<int64_t, int64_t>>(20, {1000, 1}), 9},
        {"a drip slower than the window", 100, 1000, {{400, 1}, {700, 1}}, 1},
        {"silence that fills the window", 100, 1000, {{1000, 0}}, 0},
        {"exactly the limit passes", 100, 1000, {{500, 50}, {500, 50}, {1000, 100}}, -1},
        {"just below the limit fails", 100, 1000, {{500, 50}, {500, 49}}, 1},
        {"fast bursts after a slow start pass", 100, 1000, {{900, 0}, {50, 20000}}, -1},
        {"each window is judged on its own", 100, 1000, {{1000, 100000}, {1000, 10}}, 1},
        {"bytes that came without waiting count fully", 100, 1000, {{0, 90}, {1000, 10}}, -1},
        {"a slow but real link: 4 KiB a second", 100, 1000, std::vector<std::pair<int64_t, int64_t>>(40, {62, 256}),
         -1},
        {"no limit", 0, 1000, {{5000, 0}}, -1},
        {"no window", 100, 0, {{5000, 0}}, -1},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.Name);
        TLowSpeedMeter meter;
        int failedAt = -1;
        for (size_t i = 0; i < c.Waits.size() && failedAt < 0; ++i)
            if (meter.Add(c.Waits[i].first, c.Waits[i].second, c.Limit, c.Window)) failedAt = int(i);
        EXPECT_EQ(failedAt, c.FailsAt);
    }
}

TEST(LowSpeedMeter, AWaitEndsWhereTheWindowIsFull) {
    TLowSpeedMeter meter;
    EXPECT_EQ(meter.WindowLeft(0, 0), -1);
    EXPECT_EQ(meter.WindowLeft(300, 1000), 700);
    meter.Add(600, 1000, 100, 1000);
    EXPECT_EQ(meter.WindowLeft(300, 1000), 100);
    EXPECT_EQ(meter.WindowLeft(900, 1000), 0);
    meter.Add(400, 0, 100, 1000);  // the window is complete (and passed): a new one begins
    EXPECT_EQ(meter.WindowLeft(0, 1000), 1000);
}
