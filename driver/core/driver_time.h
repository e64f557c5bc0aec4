// Driver time in seconds: the performance counter over the frequency Init read.
#pragma once

#include "platform/clock.h"

namespace halvex {

inline double DriverTimeNow(double counterFrequency) {
    return static_cast<double>(static_cast<uint64_t>(platform::NowTicks())) / counterFrequency;
}

}  // namespace halvex
