// Watches every pose the driver submits: counts valid, not valid and valid but
// non-finite poses, follows the runs of fresh valid poses of one device (the
// fused head), from which a fault's recovery is read, and judges that device's
// poses against the truth. Passes every update on to the host's truth comparison.
#pragma once

#include "head_accuracy.h"

#include "vrhost/accuracy/pose_observer.h"
#include "vrhost/accuracy/truth_comparison.h"

#include <cstdint>
#include <mutex>
#include <string>

namespace soak {

struct sPoseCounts {
    uint64_t valid = 0;
    uint64_t notValid = 0;
    uint64_t validNonFinite = 0;
};

class cPoseHealth final : public vrhost::cIPoseObserver {
public:
    // Poses further apart than `maxGapSeconds` break a run.
    cPoseHealth(std::string watchedSerial, double maxGapSeconds, sAccuracyBound bound, double runStart);

    // The host's own comparison, which also knows each device's truth; not owned.
    void SetTruth(vrhost::cTruthComparison* truth);
    // Faults and their recoveries are not judged for accuracy.
    void SetAccuracyExcluded(bool excluded);
    std::vector<sMinuteAccuracy> AccuracyPerMinute() const;
    std::vector<sBoundViolation> AccuracyViolations() const;

    void OnPoseUpdate(const std::string& serial, const vrhost::sPoseUpdate& update) override;

    sPoseCounts Counts() const;
    // Recovered once the watched device has sent fresh valid poses without a break
    // for `window` seconds, all after `faultEnd`: `recoveredAt` is when that run began,
    // or `faultEnd` when the fault never broke it.
    bool Recovered(double faultEnd, double window, double now, double* recoveredAt) const;

private:
    const std::string mSerial;
    const double mMaxGap;
    mutable std::mutex mMutex;
    sPoseCounts mCounts;
    vrhost::cTruthComparison* mTruth = nullptr;
    cHeadAccuracy mAccuracy;
    double mRunStart = -1.0;  // < 0: no run
    double mLastPoseTime = -1.0;
};

}  // namespace soak
