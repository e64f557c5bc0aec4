// Headset IMU seen from the truth of a motion scenario: specific force and body
// rate in the IMU frame, through scale-factor and axis-misalignment errors, plus a
// bias (constant, or walking) and white noise per sample; time stamps may jitter.
#pragma once

#include "motion_scenario.h"

#include <Eigen/Core>
#include <Eigen/Geometry>

#include <cstdint>
#include <mutex>
#include <vector>

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
    // Reading = sensorError * true value + bias + noise: scale factors on the
    // diagonal, axis misalignment off it.
    Eigen::Matrix3d accelSensorError = Eigen::Matrix3d::Identity();
    Eigen::Matrix3d gyroSensorError = Eigen::Matrix3d::Identity();
    double accelBiasWalk = 0.0;     // m/s^2/sqrt(s): the bias's standard deviation grows as sqrt(t)
    double gyroBiasWalk = 0.0;      // rad/s/sqrt(s)
    double sampleTimeJitter = 0.0;  // s, standard deviation of a stamp around its true instant
};

struct sImuSample {
    double time = 0.0;      // the stamp the IMU reports
    double trueTime = 0.0;  // the instant it measured
    Eigen::Vector3d accelerometer = Eigen::Vector3d::Zero();  // m/s^2
    Eigen::Vector3d gyroscope = Eigen::Vector3d::Zero();      // rad/s
};

class cImuModel {
public:
    // The scenario must outlive the model.
    cImuModel(const cMotionScenario& scenario, const sImuModelParams& params, uint32_t seed);

    // Samples sit on the grid index / rate, so any process gets the same sample
    // for the same index; the noise depends only on seed and index. A walking bias
    // starts at the first index asked for and is cached: the model is safe to
    // share between threads but cheapest when asked in order.
    sImuSample Sample(int64_t index) const;
    int64_t FirstIndexAtOrAfter(double time) const;
    const sImuModelParams& Params() const { return mParams; }

    // Noise- and bias-free reading for a truth state, in the IMU frame.
    static Eigen::Vector3d SpecificForce(const sMotionState& truth,
                                         const Eigen::Quaterniond& imuFromBody);
    static Eigen::Vector3d BodyRate(const sMotionState& truth, const Eigen::Quaterniond& imuFromBody);

    // Bias at grid index `index` (the constant bias plus its walk so far).
    void Biases(int64_t index, Eigen::Vector3d& accelBias, Eigen::Vector3d& gyroBias) const;

private:
    struct sWalkKnot {
        Eigen::Vector3d accel;
        Eigen::Vector3d gyro;
    };
    const sWalkKnot& Knot(int64_t knot) const;

    const cMotionScenario& mScenario;
    sImuModelParams mParams;
    uint32_t mSeed;
    // The walk, one knot every kWalkKnotSeconds from the first index asked for.
    mutable std::mutex mWalkMutex;
    mutable int64_t mWalkOrigin = 0;
    mutable std::vector<sWalkKnot> mWalk;
};

}  // namespace sim
