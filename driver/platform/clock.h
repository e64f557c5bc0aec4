// Driver time: one monotonic clock for the driver, the simulators and the tests
// (the performance counter on Windows, CLOCK_MONOTONIC elsewhere), so time stamps
// taken in different processes compare directly.
#pragma once

#include <cstdint>

namespace halvex::platform {

// Ticks of the monotonic counter and their rate (ticks per second).
int64_t NowTicks();
int64_t TickFrequency();

// Driver time in seconds: ticks, taken as unsigned, divided by the frequency.
double NowSeconds();

}  // namespace halvex::platform
