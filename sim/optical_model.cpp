#include "optical_model.h"

#include "seeded_random.h"

#include <algorithm>
#include <cmath>

namespace sim {
namespace {

const double kHalfNormalMean = std::sqrt(2.0 / 3.14159265358979323846);

}  // namespace

cOpticalModel::cOpticalModel(const cMotionScenario& scenario, const sOpticalModelParams& params,
                             uint32_t seed)
    : mScenario(scenario), mParams(params), mSeed(seed) {}

int64_t cOpticalModel::FirstIndexAtOrAfter(double captureTime) const {
    return static_cast<int64_t>(std::ceil(captureTime * mParams.rate));
}

bool cOpticalModel::Occluded(double time) const {
    if (mParams.occlusionProbability <= 0.0) return false;
    const int64_t slot = static_cast<int64_t>(std::floor(time / mParams.occlusionSlot));
    // A burst may run on from the slot before.
    for (int64_t s = slot - 1; s <= slot; ++s) {
        cSeededRandom burst(StreamSeed(mSeed, kOcclusionStream, s));
        if (burst.Uniform() >= mParams.occlusionProbability) continue;
        const double start = (static_cast<double>(s) + burst.Uniform()) * mParams.occlusionSlot;
        const double length = burst.Uniform(mParams.occlusionMin, mParams.occlusionMax);
        if (time >= start && time < start + length) return true;
    }
    return false;
}

sOpticalFrame cOpticalModel::Frame(int64_t index) const {
    double stamp = static_cast<double>(index) / mParams.rate;
    if (mParams.frameTimeJitter > 0.0) {
        cSeededRandom timing(StreamSeed(mSeed, kOpticalTimingStream, index));
        // Within a third of a period: frames keep their order.
        const double limit = 0.33 / mParams.rate;
        stamp += std::clamp(mParams.frameTimeJitter * timing.Gaussian(), -limit, limit);
    }
    return MakeFrame(index, stamp);
}

sOpticalFrame cOpticalModel::FrameAtStamp(double stamp) const {
    return MakeFrame(static_cast<int64_t>(std::llround(stamp * mParams.rate)), stamp);
}

sOpticalFrame cOpticalModel::MakeFrame(int64_t index, double stamp) const {
    sOpticalFrame frame;
    frame.captureTime = stamp;
    frame.deliveryTime = frame.captureTime + mParams.latency;

    cSeededRandom noise(StreamSeed(mSeed, kOpticalNoiseStream, index));
    frame.dropped = noise.Uniform() < mParams.dropProbability;
    const Eigen::Vector3d positionNoise(noise.Gaussian(), noise.Gaussian(), noise.Gaussian());
    const Eigen::Vector3d rotationNoise(noise.Gaussian(), noise.Gaussian(), noise.Gaussian());
    // Half-normal about the stated error, so that error is the mean: what a
    // calibration of the stamp finds.
    const double stampError =
        mParams.latencyStampError + mParams.latencyJitter * (std::fabs(noise.Gaussian()) - kHalfNormalMean);
    frame.truthTime = stamp - stampError;
    frame.occluded = Occluded(frame.truthTime);
    frame.dropped = frame.dropped || frame.occluded;
    const sMotionState truth = mScenario.At(frame.truthTime);
    frame.position = truth.position + mParams.positionNoise * positionNoise;

    const Eigen::Vector3d rotationVector = mParams.orientationNoise * rotationNoise;
    const double angle = rotationVector.norm();
    Eigen::Quaterniond error = Eigen::Quaterniond::Identity();
    if (angle > 0.0) error = Eigen::Quaterniond(Eigen::AngleAxisd(angle, rotationVector / angle));
    frame.orientation = (truth.orientation * error).normalized();
    return frame;
}

}  // namespace sim
