// Headset IMU seen from the truth of a motion scenario: specific force and body
// rate in the IMU frame, plus a constant bias and white noise per sample.
#pragma once

#include "motion_scenario.h"

#include <Eigen/Core>
#include <Eigen/Geometry>

#include <cstdint>

namespace sim {

// Tracking space is y up; gravity pulls along -y.
constexpr double kGravity = 9.81;

struct sImuModelParams {
    double rate = 1000.0;                                    // samples per second
    double accelNoise = 0.02;                                // m/s^2, standard deviation per sample
    double gyroNoise = 0.002;                                // rad/s, standard deviation per sample
    Eigen::Vector3d accelBias = {0.01, -0.02, 0.015};        // m/s^2, IMU frame
    Eigen::Vector3d gyroBias = {0.0008, -0.0012, 0.0005};    // rad/s, IMU frame
    Eigen::Quaterniond imuFromBody = Eigen::Quaterniond::Identity();  // mounting rotation
};

struct sImuSample {
    double time = 0.0;
    Eigen::Vector3d accelerometer = Eigen::Vector3d::Zero();  // m/s^2
    Eigen::Vector3d gyroscope = Eigen::Vector3d::Zero();      // rad/s
};

class cImuModel {
public:
    // The scenario must outlive the model.
    cImuModel(const cMotionScenario& scenario, const sImuModelParams& params, uint32_t seed);

    // Samples sit on the grid index / rate, so any process gets the same sample
    // for the same index; the noise depends only on seed and index.
    sImuSample Sample(int64_t index) const;
    int64_t FirstIndexAtOrAfter(double time) const;
    const sImuModelParams& Params() const { return mParams; }

    // Noise- and bias-free reading for a truth state, in the IMU frame.
    static Eigen::Vector3d SpecificForce(const sMotionState& truth,
                                         const Eigen::Quaterniond& imuFromBody);
    static Eigen::Vector3d BodyRate(const sMotionState& truth, const Eigen::Quaterniond& imuFromBody);

private:
    const cMotionScenario& mScenario;
    sImuModelParams mParams;
    uint32_t mSeed;
};

}  // namespace sim
