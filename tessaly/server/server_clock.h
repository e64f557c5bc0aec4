// The simulated server's own clock: ticks at its own frequency from its own
// epoch, derived from the host's monotonic counter. Clients must map it through
// the frequency and an offset exchange, as with a server on another machine.
#pragma once

#include <cstdint>

namespace tessaly::server {

class cServerClock {
public:
    explicit cServerClock(uint64_t frequency);
    uint64_t Frequency() const { return mFrequency; }
    uint64_t TicksAtHostTicks(int64_t hostTicks) const;
    uint64_t TicksAtHostSeconds(double hostSeconds) const;
    uint64_t TicksNow() const;
    uint64_t TicksForSeconds(double seconds) const;  // a duration, rounded; negative gives 0

private:
    uint64_t mFrequency;
    int64_t mHostFrequency;
    int64_t mEpochHostTicks;  // host ticks at server tick 0
};

}  // namespace tessaly::server
