#include "platform/clock.h"

#include <time.h>

namespace halvex::platform {

int64_t NowTicks() {
    timespec ts{};
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return static_cast<int64_t>(ts.tv_sec) * 1000000000LL + ts.tv_nsec;
}

int64_t TickFrequency() { return 1000000000LL; }

double NowSeconds() {
    return static_cast<double>(static_cast<uint64_t>(NowTicks())) / static_cast<double>(TickFrequency());
}

}  // namespace halvex::platform
