// The fused head's error against the truth over a long session: per minute of the
// run, and whether it ever stayed above a bound for longer than allowed outside the
// windows the soak excludes (a fault and the recovery after it).
#pragma once

#include <cstdint>
#include <vector>

namespace soak {

struct sAccuracyBound {
    double positionMetres = 0.010;
    double orientationRadians = 2.0 * 3.14159265358979323846 / 180.0;
    double seconds = 0.5;  // longest run of poses above the bound that is tolerated
};

struct sMinuteAccuracy {
    uint64_t judged = 0;  // poses outside excluded windows
    double positionRmsMm = 0.0;
    double positionMaxMm = 0.0;
    double orientationRmsDeg = 0.0;
    double orientationMaxDeg = 0.0;
};

struct sBoundViolation {
    double from = 0.0;  // run time the pose error rose above the bound
    double seconds = 0.0;
};

// Not thread-safe: the owner serialises the calls.
class cHeadAccuracy {
public:
    cHeadAccuracy(sAccuracyBound bound, double runStart);

    // While excluded, poses are neither judged nor counted, and a run above the bound ends.
    void SetExcluded(bool excluded);
    void Add(double time, double positionError, double orientationError);

    std::vector<sMinuteAccuracy> Minutes() const;
    const std::vector<sBoundViolation>& Violations() const { return mViolations; }
    const sAccuracyBound& Bound() const { return mBound; }

private:
    struct sSums {
        uint64_t count = 0;
        double positionSquares = 0.0, positionMax = 0.0;
        double orientationSquares = 0.0, orientationMax = 0.0;
    };
    void EndRunAbove();

    const sAccuracyBound mBound;
    const double mRunStart;
    bool mExcluded = false;
    double mAboveSince = -1.0;  // < 0: the newest judged pose was within the bound
    bool mRunCounted = false;   // the current run above the bound is already a violation
    std::vector<sSums> mMinutes;
    std::vector<sBoundViolation> mViolations;
};

}  // namespace soak
