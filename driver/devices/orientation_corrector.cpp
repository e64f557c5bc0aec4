#include "devices/orientation_corrector.h"

#include <cmath>

namespace {

Eigen::Quaternionf InverseOrZero(const Eigen::Quaternionf& q) {
    const float squaredNorm = q.squaredNorm();
    if (!(squaredNorm > 0.0f)) return Eigen::Quaternionf(0.0f, 0.0f, 0.0f, 0.0f);
    const Eigen::Quaternionf conjugate = q.conjugate();
    return Eigen::Quaternionf(conjugate.coeffs() / squaredNorm);
}

Eigen::Quaternionf NormalisedIfNonzero(const Eigen::Quaternionf& q) {
    return q.squaredNorm() > 0.0f ? q.normalized() : q;
}

}  // namespace

Eigen::Quaternionf SlerpShorterArc(const Eigen::Quaternionf& from, const Eigen::Quaternionf& to, float fraction) {
    const float d = from.coeffs().dot(to.coeffs());
    float fromWeight = 1.0f - fraction;
    float toWeight = fraction;
    if (std::fabs(d) < 0.9999999f) {
        const float theta = std::acos(std::fabs(d));
        const float sinTheta = std::sin(theta);
        fromWeight = std::sin((1.0f - fraction) * theta) / sinTheta;
        toWeight = std::sin(fraction * theta) / sinTheta;
    }
    if (d < 0.0f) toWeight = -toWeight;
    return Eigen::Quaternionf(fromWeight * from.coeffs() + toWeight * to.coeffs());
}

// Half a turn about y: the headset runtime's axes against the rigid body's.
cOrientationCorrector::cOrientationCorrector()
    : mImuAlignment(0.0f, 0.0f, 1.0f, 0.0f),
      mCorrection(Eigen::Quaternionf::Identity()),
      mLatestOptical(Eigen::Quaternionf::Identity()) {}

void cOrientationCorrector::AddImuOrientation(const Eigen::Quaternionf& orientation, double time) {
    std::lock_guard<std::recursive_mutex> lock(mMutex);
    const Eigen::Quaternionf q = NormalisedIfNonzero(orientation);
    const int32_t slot = mNewest < 1 ? kHistorySize - 1 : mNewest - 1;
    mHistory[slot] = {q * mImuAlignment, time};
    if (mCount < kHistorySize) ++mCount;
    mNewest = slot;
    mLastImuTime = time;
}

void cOrientationCorrector::AddOpticalOrientation(const Eigen::Quaternionf& orientation, double time) {
    std::lock_guard<std::recursive_mutex> lock(mMutex);
    const Eigen::Quaternionf q = NormalisedIfNonzero(orientation);
    mLatestOptical = q;
    if (mCount > 0) {
        const Eigen::Quaternionf target = q * InverseOrZero(HeadsetOrientationAt(time));
        if (mNeedsInit) {
            mCorrection = target;
            mNeedsInit = false;
        } else {
            float fraction = mBlend;
            if (mForceFullStep && mCount >= 2 && time - mLastOpticalTime > 0.0) fraction = 1.0f;
            mCorrection = SlerpShorterArc(mCorrection, target, fraction);
        }
    }
    mLastOpticalTime = time;
}

// The optical sample is the optical latency old when it arrives: pairing it with the
// newest headset sample would carry the rotation of that latency into every pose.
Eigen::Quaternionf cOrientationCorrector::HeadsetOrientationAt(double time) const {
    int32_t newer = mNewest;
    if (time >= mHistory[newer].time) return mHistory[newer].orientation;
    for (int32_t age = 1; age < mCount; ++age) {
        const int32_t older = (mNewest + age) % kHistorySize;
        if (mHistory[older].time <= time) {
            const double span = mHistory[newer].time - mHistory[older].time;
            const float fraction = span > 0.0 ? static_cast<float>((time - mHistory[older].time) / span) : 1.0f;
            return NormalisedIfNonzero(
                SlerpShorterArc(mHistory[older].orientation, mHistory[newer].orientation, fraction));
        }
        newer = older;
    }
    return mHistory[newer].orientation;  // older than the whole history: its oldest entry
}

Eigen::Quaternionf cOrientationCorrector::CorrectedOrientation() const {
    std::lock_guard<std::recursive_mutex> lock(mMutex);
    if (mCount < 1) return mLatestOptical;
    return NormalisedIfNonzero(mCorrection * mHistory[mNewest].orientation);
}

void cOrientationCorrector::SetBlend(float blend) {
    std::lock_guard<std::recursive_mutex> lock(mMutex);
    mBlend = blend;
}

void cOrientationCorrector::SetForceFullStep(bool forceFullStep) {
    std::lock_guard<std::recursive_mutex> lock(mMutex);
    mForceFullStep = forceFullStep;
}

Eigen::Quaternionf cOrientationCorrector::Correction() const {
    std::lock_guard<std::recursive_mutex> lock(mMutex);
    return mCorrection;
}

int32_t cOrientationCorrector::Count() const {
    std::lock_guard<std::recursive_mutex> lock(mMutex);
    return mCount;
}
