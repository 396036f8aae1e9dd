#include "http/low_speed_meter.h"

#include <algorithm>

namespace http {

bool TLowSpeedMeter::Add(int64_t WaitedMs, int64_t Bytes, int Limit, int WindowMs) {
    if (Limit <= 0 || WindowMs <= 0) return false;
    waitedMs_ += std::max<int64_t>(WaitedMs, 0);
    bytes_ += std::max<int64_t>(Bytes, 0);
    if (waitedMs_ < WindowMs) return false;
    const bool slow = bytes_ * 1000 < int64_t(Limit) * waitedMs_;
    Reset();
    return slow;
}

int TLowSpeedMeter::WindowLeft(int64_t WaitingMs, int WindowMs) const {
    if (WindowMs <= 0) return -1;
    return int(std::max<int64_t>(0, WindowMs - waitedMs_ - WaitingMs));
}

}  // namespace http
