// The library's own monotonic clock. Only differences of its readings leave the
// library, so its epoch does not matter.
#pragma once

#include <chrono>
#include <cstdint>

namespace tessaly {

inline int64_t NowNanoseconds() {
    return std::chrono::duration_cast<std::chrono::nanoseconds>(std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

inline double NowSeconds() { return static_cast<double>(NowNanoseconds()) * 1e-9; }

// Server-clock ticks to seconds without losing precision on large counts.
inline double TicksToSeconds(uint64_t ticks, uint64_t frequency) {
    return static_cast<double>(ticks / frequency) + static_cast<double>(ticks % frequency) / static_cast<double>(frequency);
}

}  // namespace tessaly
