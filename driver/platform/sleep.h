// Sleeping with sub-millisecond accuracy: the IMU poll runs every 0.5 ms, far
// below the default Windows timer tick of ~15.6 ms.
#pragma once

#include <chrono>

namespace halvex::platform {

// Returns once std::chrono::steady_clock has reached `wakeTime`.
void SleepUntil(std::chrono::steady_clock::time_point wakeTime);

// Relative form of SleepUntil; non-positive durations return at once.
void SleepFor(double seconds);

// False where the system has no high-resolution waitable timer (Windows before 10
// 1803, some Wine versions). Sleeps then wait on a timer with the system period
// raised to 1 ms, never spinning: a 0.5 ms sleep takes up to about a millisecond.
bool SleepIsHighResolution();

// For tests: the calling thread sleeps as on a system without the high-resolution
// timer. Changes nothing where sleeping is exact anyway (POSIX).
void UseCoarseSleepOnThisThread();

}  // namespace halvex::platform
