// Sleeping with sub-millisecond accuracy: the IMU poll runs every 0.5 ms, far
// below the default Windows timer tick of ~15.6 ms.
#pragma once

#include <chrono>

namespace halvex::platform {

// Returns once std::chrono::steady_clock has reached `wakeTime`.
void SleepUntil(std::chrono::steady_clock::time_point wakeTime);

// Relative form of SleepUntil; non-positive durations return at once.
void SleepFor(double seconds);

}  // namespace halvex::platform
