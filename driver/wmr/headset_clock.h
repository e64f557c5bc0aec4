// The headset's IMU clock mapped onto driver time.
//
// Raw time counts from a time base (the first report's earliest tick). The clock
// offset (driver time minus raw time) is the candidate of smallest magnitude: the
// report that reached the driver with the least delay fixes it, a slow report
// never moves it. Crystals differ by tens of ppm, so a minimum kept forever would
// stay behind a headset clock slower than the host's and date every later sample
// ever earlier (about 3 ms a minute at 50 ppm). The minimum is therefore taken
// over a sliding window of recent reports: for a drift-free clock it is the same
// minimum, and it follows drift in either direction.
#pragma once

#include "wmr/sensor_report.h"

#include <cstdint>
#include <limits>

namespace halvex::wmr {

class cHeadsetClock {
public:
    static constexpr double kNoOffset = std::numeric_limits<double>::max();
    static constexpr double kDefaultWindowSeconds = 20.0;
    // A window of infinity keeps the minimum of every report ever seen.
    static constexpr double kWholeHistory = std::numeric_limits<double>::infinity();

    explicit cHeadsetClock(double windowSeconds = kDefaultWindowSeconds);

    // Once per sensor report, `now` being the driver time at which it was read. True
    // when the report's ticks went back behind the previous report's (a counter reset,
    // a headset plugged in again): the time base and the offset window then start
    // afresh from this report, and samples before and after it must not be mixed.
    bool Update(const sWmrInputReport_Sensors& report, double now);

    // Seconds since the time base of a sample stamped with these two tick counts:
    // their midpoint, from each one's difference to the base (unsigned, as the
    // headset's counters wrap).
    double RawTime(uint64_t gyroTicks, uint64_t accTicks) const;

    uint64_t TimeBase() const { return mTimeBase; }
    double Offset() const { return mOffset; }

private:
    static constexpr int kBucketCount = 10;
    struct sBucket {
        int64_t index = -1;  // which slice of driver time it covers; -1: empty
        double offset = kNoOffset;
    };

    void Consider(double candidate, double now);
    void ForgetOffsets();

    double mBucketSeconds;
    uint64_t mTimeBase = 0;
    // The previous report's last stamps; 0: none yet.
    uint64_t mLastGyroTicks = 0;
    uint64_t mLastAccTicks = 0;
    double mOffset = kNoOffset;
    int64_t mNewestBucket = -1;
    sBucket mBuckets[kBucketCount];
};

}  // namespace halvex::wmr
