#include "optical_model.h"

#include "seeded_random.h"

#include <cmath>

namespace sim {

cOpticalModel::cOpticalModel(const cMotionScenario& scenario, const sOpticalModelParams& params,
                             uint32_t seed)
    : mScenario(scenario), mParams(params), mSeed(seed) {}

int64_t cOpticalModel::FirstIndexAtOrAfter(double captureTime) const {
    return static_cast<int64_t>(std::ceil(captureTime * mParams.rate));
}

sOpticalFrame cOpticalModel::Frame(int64_t index) const {
    sOpticalFrame frame;
    frame.captureTime = static_cast<double>(index) / mParams.rate;
    frame.deliveryTime = frame.captureTime + mParams.latency;
    const sMotionState truth = mScenario.At(frame.captureTime);

    cSeededRandom noise(StreamSeed(mSeed, kOpticalNoiseStream, index));
    frame.dropped = noise.Uniform() < mParams.dropProbability;
    const Eigen::Vector3d positionNoise(noise.Gaussian(), noise.Gaussian(), noise.Gaussian());
    const Eigen::Vector3d rotationNoise(noise.Gaussian(), noise.Gaussian(), noise.Gaussian());
    frame.position = truth.position + mParams.positionNoise * positionNoise;

    const Eigen::Vector3d rotationVector = mParams.orientationNoise * rotationNoise;
    const double angle = rotationVector.norm();
    Eigen::Quaterniond error = Eigen::Quaterniond::Identity();
    if (angle > 0.0) error = Eigen::Quaterniond(Eigen::AngleAxisd(angle, rotationVector / angle));
    frame.orientation = (truth.orientation * error).normalized();
    return frame;
}

}  // namespace sim
