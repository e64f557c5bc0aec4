#include "pose_health.h"

#include <algorithm>
#include <cmath>

namespace soak {

namespace {

bool Finite(const vr::DriverPose_t& p) {
    const double values[] = {p.vecPosition[0],        p.vecPosition[1],        p.vecPosition[2],
                             p.vecVelocity[0],        p.vecVelocity[1],        p.vecVelocity[2],
                             p.vecAngularVelocity[0], p.vecAngularVelocity[1], p.vecAngularVelocity[2],
                             p.qRotation.w,           p.qRotation.x,           p.qRotation.y,
                             p.qRotation.z,           p.poseTimeOffset};
    return std::all_of(std::begin(values), std::end(values), [](double v) { return std::isfinite(v); });
}

}  // namespace

cPoseHealth::cPoseHealth(std::string watchedSerial, double maxGapSeconds, sAccuracyBound bound, double runStart)
    : mSerial(std::move(watchedSerial)), mMaxGap(maxGapSeconds), mAccuracy(bound, runStart) {}

void cPoseHealth::SetTruth(vrhost::cTruthComparison* truth) {
    std::lock_guard<std::mutex> lock(mMutex);
    mTruth = truth;
}

void cPoseHealth::SetAccuracyExcluded(bool excluded) {
    std::lock_guard<std::mutex> lock(mMutex);
    mAccuracy.SetExcluded(excluded);
}

std::vector<sMinuteAccuracy> cPoseHealth::AccuracyPerMinute() const {
    std::lock_guard<std::mutex> lock(mMutex);
    return mAccuracy.Minutes();
}

std::vector<sBoundViolation> cPoseHealth::AccuracyViolations() const {
    std::lock_guard<std::mutex> lock(mMutex);
    return mAccuracy.Violations();
}

void cPoseHealth::OnPoseUpdate(const std::string& serial, const vrhost::sPoseUpdate& update) {
    const bool valid = update.pose.poseIsValid;
    const bool finite = Finite(update.pose);
    std::lock_guard<std::mutex> lock(mMutex);
    if (mTruth) mTruth->OnPoseUpdate(serial, update);
    if (!valid) {
        ++mCounts.notValid;
    } else if (!finite) {
        ++mCounts.validNonFinite;
    } else {
        ++mCounts.valid;
    }
    if (serial != mSerial) return;
    const double t = update.hostTime;
    if (!valid || !finite) {
        mRunStart = -1.0;
    } else if (mRunStart < 0.0 || t - mLastPoseTime > mMaxGap) {
        mRunStart = t;
    }
    vrhost::sWorldPose truth;
    if (valid && finite && mTruth && mTruth->TruthOfUpdate(serial, update, truth))
        mAccuracy.Add(t, vrhost::PositionError(update.world, truth), vrhost::OrientationError(update.world, truth));
    mLastPoseTime = t;
}

sPoseCounts cPoseHealth::Counts() const {
    std::lock_guard<std::mutex> lock(mMutex);
    return mCounts;
}

bool cPoseHealth::Recovered(double faultEnd, double window, double now, double* recoveredAt) const {
    std::lock_guard<std::mutex> lock(mMutex);
    if (mRunStart < 0.0 || now - mLastPoseTime > mMaxGap) return false;
    const double from = std::max(mRunStart, faultEnd);
    if (mLastPoseTime < from + window) return false;
    *recoveredAt = from;
    return true;
}

}  // namespace soak
