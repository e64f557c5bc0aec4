#include "imu_model.h"

#include "seeded_random.h"

#include <cmath>

namespace sim {

cImuModel::cImuModel(const cMotionScenario& scenario, const sImuModelParams& params, uint32_t seed)
    : mScenario(scenario), mParams(params), mSeed(seed) {}

Eigen::Vector3d cImuModel::SpecificForce(const sMotionState& truth,
                                         const Eigen::Quaterniond& imuFromBody) {
    // An accelerometer at rest reads +g upwards: f = a - gravity, gravity = (0, -g, 0).
    const Eigen::Vector3d specificForceWorld = truth.acceleration + Eigen::Vector3d(0.0, kGravity, 0.0);
    return imuFromBody * (truth.orientation.conjugate() * specificForceWorld);
}

Eigen::Vector3d cImuModel::BodyRate(const sMotionState& truth, const Eigen::Quaterniond& imuFromBody) {
    return imuFromBody * truth.angularVelocity;
}

int64_t cImuModel::FirstIndexAtOrAfter(double time) const {
    return static_cast<int64_t>(std::ceil(time * mParams.rate));
}

sImuSample cImuModel::Sample(int64_t index) const {
    sImuSample sample;
    sample.time = static_cast<double>(index) / mParams.rate;
    const sMotionState truth = mScenario.At(sample.time);
    cSeededRandom noise(StreamSeed(mSeed, kImuNoiseStream, index));
    const Eigen::Vector3d accelNoise(noise.Gaussian(), noise.Gaussian(), noise.Gaussian());
    const Eigen::Vector3d gyroNoise(noise.Gaussian(), noise.Gaussian(), noise.Gaussian());
    sample.accelerometer = SpecificForce(truth, mParams.imuFromBody) + mParams.accelBias +
                           mParams.accelNoise * accelNoise;
    sample.gyroscope = BodyRate(truth, mParams.imuFromBody) + mParams.gyroBias +
                       mParams.gyroNoise * gyroNoise;
    return sample;
}

}  // namespace sim
