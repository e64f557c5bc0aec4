#include "server_clock_mapping.h"

#include "library_clock.h"

namespace tessaly {

void cServerClockMapping::Reset(uint64_t frequency) {
    std::lock_guard<std::mutex> lock(mMutex);
    mNext = 0;
    mFilled = 0;
    mExchanges.store(0);
    mFrequency.store(frequency);
}

void cServerClockMapping::AddExchange(double sentSeconds, double receivedSeconds, uint64_t serverTicks) {
    const uint64_t frequency = mFrequency.load();
    const double roundTrip = receivedSeconds - sentSeconds;
    if (frequency == 0 || serverTicks == 0 || !(roundTrip >= 0.0 && roundTrip <= kMaxRoundTrip)) return;
    const double offset = TicksToSeconds(serverTicks, frequency) - 0.5 * (sentSeconds + receivedSeconds);
    std::lock_guard<std::mutex> lock(mMutex);
    mOffsets[mNext] = offset;
    mRoundTrips[mNext] = roundTrip;
    mNext = (mNext + 1) % kWindow;
    if (mFilled < kWindow) ++mFilled;
    int best = 0;
    for (int i = 1; i < mFilled; ++i)
        if (mRoundTrips[i] < mRoundTrips[best]) best = i;
    mServerMinusLocal.store(mOffsets[best]);
    mExchanges.fetch_add(1);
}

double cServerClockMapping::SecondsSince(uint64_t serverTicks, double nowSeconds) const {
    const uint64_t frequency = mFrequency.load();
    if (frequency == 0 || serverTicks == 0 || mExchanges.load() == 0) return -1.0;
    const double tickLocalSeconds = TicksToSeconds(serverTicks, frequency) - mServerMinusLocal.load();
    return nowSeconds - tickLocalSeconds;
}

}  // namespace tessaly
