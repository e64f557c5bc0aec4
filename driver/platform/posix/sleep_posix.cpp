#include "platform/sleep.h"

#include <cerrno>
#include <time.h>

namespace halvex::platform {

void SleepUntil(std::chrono::steady_clock::time_point wakeTime) {
    // steady_clock is CLOCK_MONOTONIC with libstdc++, so an absolute sleep is exact.
    const auto ns = std::chrono::duration_cast<std::chrono::nanoseconds>(wakeTime.time_since_epoch()).count();
    if (ns <= 0) return;
    timespec ts{};
    ts.tv_sec = static_cast<time_t>(ns / 1000000000LL);
    ts.tv_nsec = static_cast<long>(ns % 1000000000LL);
    while (clock_nanosleep(CLOCK_MONOTONIC, TIMER_ABSTIME, &ts, nullptr) == EINTR) {
    }
}

void SleepFor(double seconds) {
    if (!(seconds > 0.0)) return;
    SleepUntil(std::chrono::steady_clock::now() +
               std::chrono::duration_cast<std::chrono::steady_clock::duration>(std::chrono::duration<double>(seconds)));
}

bool SleepIsHighResolution() { return true; }

void UseCoarseSleepOnThisThread() {}

}  // namespace halvex::platform
