#include "wmr/headset_clock.h"

#include <algorithm>
#include <cmath>

namespace halvex::wmr {

namespace {

constexpr double kTicksPerSecond = 1e7;
// How far a stamp may fall behind the previous report's before the counter counts as
// restarted: stamp jitter and a repeated report stay well inside it.
constexpr uint64_t kBackwardsToleranceTicks = 1000000;  // 0.1 s

bool FellBehind(uint64_t ticks, uint64_t previous) { return previous > kBackwardsToleranceTicks && ticks < previous - kBackwardsToleranceTicks; }

bool SmallerMagnitude(double a, double b) { return std::fabs(a) < std::fabs(b); }

}  // namespace

cHeadsetClock::cHeadsetClock(double windowSeconds)
    : mBucketSeconds(std::isfinite(windowSeconds) && windowSeconds > 0.0 ? windowSeconds / kBucketCount : 0.0) {}

bool cHeadsetClock::Update(const sWmrInputReport_Sensors& report, double now) {
    // Copied out first: std::min and std::max would bind references to the packed
    // report's misaligned fields.
    const uint64_t firstGyro = report.timestampGyro[0], firstAcc = report.timestampAcc[0];
    const uint64_t lastGyro = report.timestampGyro[3], lastAcc = report.timestampAcc[3];
    const uint64_t earliest = std::min(firstGyro, firstAcc);
    // Each stream's stamps only grow; behind the base or the previous report, the
    // span would wrap to about 2^64 ticks and date every sample 1e12 s away.
    const bool wentBack = mTimeBase != 0 && (earliest < mTimeBase || FellBehind(firstGyro, mLastGyroTicks) ||
                                             FellBehind(firstAcc, mLastAccTicks));
    if (wentBack) ForgetOffsets();
    if (mTimeBase == 0 || wentBack) mTimeBase = earliest;
    mLastGyroTicks = lastGyro;
    mLastAccTicks = lastAcc;
    const uint64_t newest = std::max(lastGyro, lastAcc);
    const double span = static_cast<double>(newest - mTimeBase) / kTicksPerSecond;
    Consider(now - span, now);
    return wentBack;
}

void cHeadsetClock::ForgetOffsets() {
    mOffset = kNoOffset;
    mNewestBucket = -1;
    for (sBucket& bucket : mBuckets) bucket = sBucket{};
}

void cHeadsetClock::Consider(double candidate, double now) {
    if (mBucketSeconds == 0.0) {
        if (SmallerMagnitude(candidate, mOffset)) mOffset = candidate;
        return;
    }
    // Driver time is cut into slices; each bucket keeps the best candidate of its
    // slice, and the offset is the best of the slices still inside the window.
    const double slice = std::floor(now / mBucketSeconds);
    // A clock that went backwards, or a time too large to slice, stays in the newest bucket.
    int64_t index = mNewestBucket;
    if (std::isfinite(slice) && slice > static_cast<double>(mNewestBucket) && slice < 9.0e18)
        index = static_cast<int64_t>(slice);
    if (index < 0) index = 0;
    sBucket& bucket = mBuckets[index % kBucketCount];
    if (bucket.index != index) bucket = sBucket{index, kNoOffset};
    if (SmallerMagnitude(candidate, bucket.offset)) bucket.offset = candidate;
    mNewestBucket = index;

    double best = kNoOffset;
    for (const sBucket& b : mBuckets) {
        if (b.index >= 0 && b.index > index - kBucketCount && SmallerMagnitude(b.offset, best)) best = b.offset;
    }
    mOffset = best;
}

double cHeadsetClock::RawTime(uint64_t gyroTicks, uint64_t accTicks) const {
    // Summed as doubles: the two differences together pass 2^64 where each does not.
    const double gyro = static_cast<double>(gyroTicks - mTimeBase);
    const double acc = static_cast<double>(accTicks - mTimeBase);
    return (gyro + acc) / (2.0 * kTicksPerSecond);
}

}  // namespace halvex::wmr
