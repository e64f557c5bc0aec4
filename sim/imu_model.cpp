#include "imu_model.h"

#include "seeded_random.h"

#include <algorithm>
#include <cmath>

namespace sim {
namespace {

// The walk moves in steps this long, linear in between: fine enough for a bias
// that changes over seconds, and cheap to build on demand.
constexpr double kWalkKnotSeconds = 0.01;

}  // namespace

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

const cImuModel::sWalkKnot& cImuModel::Knot(int64_t knot) const {
    // Called with mWalkMutex held; knot >= 0.
    while (static_cast<int64_t>(mWalk.size()) <= knot) {
        const int64_t k = static_cast<int64_t>(mWalk.size());
        sWalkKnot next{Eigen::Vector3d::Zero(), Eigen::Vector3d::Zero()};
        if (k > 0) {
            cSeededRandom step(StreamSeed(mSeed, kImuBiasWalkStream, mWalkOrigin + k));
            const double scale = std::sqrt(kWalkKnotSeconds);
            next = mWalk.back();
            for (int i = 0; i < 3; ++i) next.accel[i] += mParams.accelBiasWalk * scale * step.Gaussian();
            for (int i = 0; i < 3; ++i) next.gyro[i] += mParams.gyroBiasWalk * scale * step.Gaussian();
        }
        mWalk.push_back(next);
    }
    return mWalk[static_cast<size_t>(knot)];
}

void cImuModel::Biases(int64_t index, Eigen::Vector3d& accelBias, Eigen::Vector3d& gyroBias) const {
    accelBias = mParams.accelBias;
    gyroBias = mParams.gyroBias;
    if (mParams.accelBiasWalk == 0.0 && mParams.gyroBiasWalk == 0.0) return;
    const double knotsPerSample = 1.0 / (kWalkKnotSeconds * mParams.rate);
    std::lock_guard<std::mutex> lock(mWalkMutex);
    if (mWalk.empty()) mWalkOrigin = static_cast<int64_t>(std::floor(index * knotsPerSample));
    const double position = std::max(0.0, index * knotsPerSample - static_cast<double>(mWalkOrigin));
    const int64_t knot = static_cast<int64_t>(position);
    const double fraction = position - static_cast<double>(knot);
    const sWalkKnot a = Knot(knot);
    const sWalkKnot& b = Knot(knot + 1);
    accelBias += a.accel + fraction * (b.accel - a.accel);
    gyroBias += a.gyro + fraction * (b.gyro - a.gyro);
}

sImuSample cImuModel::Sample(int64_t index) const {
    sImuSample sample;
    sample.trueTime = static_cast<double>(index) / mParams.rate;
    const sMotionState truth = mScenario.At(sample.trueTime);
    cSeededRandom noise(StreamSeed(mSeed, kImuNoiseStream, index));
    const Eigen::Vector3d accelNoise(noise.Gaussian(), noise.Gaussian(), noise.Gaussian());
    const Eigen::Vector3d gyroNoise(noise.Gaussian(), noise.Gaussian(), noise.Gaussian());
    // Kept inside a third of a period, so stamps never go backwards.
    const double limit = 0.33 / mParams.rate;
    sample.time = sample.trueTime + std::clamp(mParams.sampleTimeJitter * noise.Gaussian(), -limit, limit);
    Eigen::Vector3d accelBias, gyroBias;
    Biases(index, accelBias, gyroBias);
    sample.accelerometer = mParams.accelSensorError * SpecificForce(truth, mParams.imuFromBody) + accelBias +
                           mParams.accelNoise * accelNoise;
    sample.gyroscope = mParams.gyroSensorError * BodyRate(truth, mParams.imuFromBody) + gyroBias +
                       mParams.gyroNoise * gyroNoise;
    return sample;
}

}  // namespace sim
