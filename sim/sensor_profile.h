// The sensors every simulating program shares, by profile: `ideal` (white noise,
// constant biases, random dropouts, exact stamps and calibration) and `realistic`
// (what headset IMUs and mocap systems really do wrong). corvane_sim, vrhost's
// simulated headsets and the benches build their models from here, so one
// --profile means the same sensors everywhere.
#pragma once

#include "imu_model.h"
#include "optical_model.h"

#include <Eigen/Geometry>

#include <cstdint>
#include <string>
#include <vector>

namespace sim {

enum class eSensorProfile { Ideal, Realistic };

const std::vector<std::string>& SensorProfileNames();  // "ideal", "realistic"
bool ParseSensorProfile(const std::string& name, eSensorProfile& profile);
const char* SensorProfileName(eSensorProfile profile);

struct sSensorProfile {
    sImuModelParams imu;
    sOpticalModelParams optical;
    // The headset's true IMU-to-head transform is the published one times this.
    Eigen::Isometry3d imuToHeadError = Eigen::Isometry3d::Identity();
    // An IMU whose factory calibration the driver cannot read (a WMR headset's HID
    // interface offers none) shows these constant biases instead of imu's.
    Eigen::Vector3d uncalibratedAccelBias = sImuModelParams().accelBias;
    Eigen::Vector3d uncalibratedGyroBias = sImuModelParams().gyroBias;

    sImuModelParams UncalibratedImu() const {
        sImuModelParams params = imu;
        params.accelBias = uncalibratedAccelBias;
        params.gyroBias = uncalibratedGyroBias;
        return params;
    }
    // The streamed rigid body is the body's true frame times this: the rigid body's
    // pose in the body's own frame (head frame of a headset, a controller's frame).
    Eigen::Isometry3d rigidBodyError = Eigen::Isometry3d::Identity();
    // What a factory calibration publishes for the IMU: its true constant biases
    // plus these residuals.
    Eigen::Vector3d factoryGyroBiasResidual = Eigen::Vector3d::Zero();
    Eigen::Vector3d factoryAccelBiasResidual = Eigen::Vector3d::Zero();
};

// Errors a command line sets over the profile's own, for every body.
struct sSensorErrorOverrides {
    bool hasRigidBodyError = false;
    Eigen::Isometry3d rigidBodyError = Eigen::Isometry3d::Identity();
    bool hasLatencyStampError = false;
    double latencyStampError = 0.0;  // s
    // The factory IMU-to-head transform's error (sSensorProfile::imuToHeadError).
    bool hasImuToHeadError = false;
    Eigen::Isometry3d imuToHeadError = Eigen::Isometry3d::Identity();
};

// The sensors of the body whose scenario seed is `seed`: per-device errors
// (scale factors, misalignment, calibration) are drawn from it, so every
// process simulating that body draws the same.
sSensorProfile MakeSensorProfile(eSensorProfile profile, uint32_t seed,
                                 const sSensorErrorOverrides& overrides = {});

}  // namespace sim
