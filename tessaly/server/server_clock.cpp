#include "server_clock.h"

#include "platform/clock.h"

#include <cmath>

namespace tessaly::server {

namespace {
// The server pretends to have been up this long when the object is made, so its
// tick counts (and mid-exposure ticks before them) are never near zero.
constexpr int64_t kPretendedUptimeSeconds = 1000;
}  // namespace

cServerClock::cServerClock(uint64_t frequency)
    : mFrequency(frequency == 0 ? 1 : frequency),
      mHostFrequency(halvex::platform::TickFrequency()),
      mEpochHostTicks(halvex::platform::NowTicks() - kPretendedUptimeSeconds * mHostFrequency) {}

uint64_t cServerClock::TicksAtHostTicks(int64_t hostTicks) const {
    const int64_t elapsed = hostTicks - mEpochHostTicks;
    if (elapsed <= 0) return 0;
    const uint64_t e = static_cast<uint64_t>(elapsed);
    const uint64_t hf = static_cast<uint64_t>(mHostFrequency);
    return (e / hf) * mFrequency + (e % hf) * mFrequency / hf;
}

uint64_t cServerClock::TicksAtHostSeconds(double hostSeconds) const {
    const double epochSeconds =
        static_cast<double>(static_cast<uint64_t>(mEpochHostTicks)) / static_cast<double>(mHostFrequency);
    const double elapsed = hostSeconds - epochSeconds;
    return elapsed <= 0.0 ? 0 : static_cast<uint64_t>(std::llround(elapsed * static_cast<double>(mFrequency)));
}

uint64_t cServerClock::TicksNow() const { return TicksAtHostTicks(halvex::platform::NowTicks()); }

uint64_t cServerClock::TicksForSeconds(double seconds) const {
    return seconds <= 0.0 ? 0 : static_cast<uint64_t>(std::llround(seconds * static_cast<double>(mFrequency)));
}

}  // namespace tessaly::server
