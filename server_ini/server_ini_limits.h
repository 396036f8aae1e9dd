#pragma once
// The largest server INI the updater reads. No configuration file comes near this; a larger
// one is an error page, a mistake or an attack. The publisher's tools report the same limit.
#include <cstdint>

namespace serverini {
inline constexpr int64_t kMaxServerIniBytes = 16 * 1024 * 1024;
}  // namespace serverini
