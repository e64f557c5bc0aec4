#include "head_accuracy.h"

#include <algorithm>
#include <cmath>

namespace soak {

namespace {
constexpr double kRadiansToDegrees = 57.29577951308232;
}

cHeadAccuracy::cHeadAccuracy(sAccuracyBound bound, double runStart) : mBound(bound), mRunStart(runStart) {}

void cHeadAccuracy::SetExcluded(bool excluded) {
    if (excluded && !mExcluded) EndRunAbove();
    mExcluded = excluded;
}

void cHeadAccuracy::EndRunAbove() {
    mAboveSince = -1.0;
    mRunCounted = false;
}

void cHeadAccuracy::Add(double time, double positionError, double orientationError) {
    if (mExcluded) return;
    const double sinceStart = std::max(0.0, time - mRunStart);
    const size_t minute = static_cast<size_t>(sinceStart / 60.0);
    if (mMinutes.size() <= minute) mMinutes.resize(minute + 1);
    sSums& sums = mMinutes[minute];
    ++sums.count;
    sums.positionSquares += positionError * positionError;
    sums.positionMax = std::max(sums.positionMax, positionError);
    sums.orientationSquares += orientationError * orientationError;
    sums.orientationMax = std::max(sums.orientationMax, orientationError);

    const bool above = positionError > mBound.positionMetres || orientationError > mBound.orientationRadians;
    if (!above) {
        EndRunAbove();
        return;
    }
    if (mAboveSince < 0.0) mAboveSince = time;
    // Counted as soon as it is long enough, so a run that never ends is seen too.
    if (!mRunCounted && time - mAboveSince > mBound.seconds) {
        mViolations.push_back({mAboveSince - mRunStart, time - mAboveSince});
        mRunCounted = true;
    }
    if (mRunCounted) mViolations.back().seconds = time - mAboveSince;
}

std::vector<sMinuteAccuracy> cHeadAccuracy::Minutes() const {
    std::vector<sMinuteAccuracy> minutes;
    for (const sSums& sums : mMinutes) {
        sMinuteAccuracy m;
        m.judged = sums.count;
        if (sums.count > 0) {
            const double n = static_cast<double>(sums.count);
            m.positionRmsMm = std::sqrt(sums.positionSquares / n) * 1000.0;
            m.positionMaxMm = sums.positionMax * 1000.0;
            m.orientationRmsDeg = std::sqrt(sums.orientationSquares / n) * kRadiansToDegrees;
            m.orientationMaxDeg = sums.orientationMax * kRadiansToDegrees;
        }
        minutes.push_back(m);
    }
    return minutes;
}

}  // namespace soak
