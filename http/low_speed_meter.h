#pragma once
// The low-speed rule of a connection: over every window of time spent waiting for the peer, it
// must deliver at least Limit bytes a second on average. A peer that drips keeps each single
// wait short, so a per-wait time-out alone never ends it; the rate does.
#include <cstdint>

namespace http {

class TLowSpeedMeter {
public:
    // Adds a wait of WaitedMs that ended with Bytes (0 when it ran out). Once a whole window
    // of waiting is complete: true when the peer fell short of Limit bytes a second over it;
    // either way the meter then starts anew. A Limit or WindowMs of 0 or less never fails.
    bool Add(int64_t WaitedMs, int64_t Bytes, int Limit, int WindowMs);
    // How much longer the wait in progress (already WaitingMs long) may go on before the
    // window is complete; -1 without a window.
    int WindowLeft(int64_t WaitingMs, int WindowMs) const;
    void Reset() { waitedMs_ = 0, bytes_ = 0; }

private:
    int64_t waitedMs_ = 0;
    int64_t bytes_ = 0;
};

}  // namespace http
