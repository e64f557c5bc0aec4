// The command-line form of the errors every simulating program can set over its
// profile: --rigid-body-error RX,RY,RZ,TX,TY,TZ (rotation vector in degrees,
// translation in mm), --latency-stamp-error MS and --imu-to-head-error
// RX,RY,RZ,TX,TY,TZ (how far the headset's true IMU-to-head transform is from the
// factory's; all zero: the factory's is exact).
#pragma once

#include "sensor_profile.h"

#include <Eigen/Geometry>

#include <string>

namespace sim {

// False with a one-line reason for anything but six finite numbers.
bool ParseRigidBodyError(const std::string& text, Eigen::Isometry3d& rigidBodyInHead, std::string& reason);
// Milliseconds, finite, within +-1000.
bool ParseLatencyStampErrorMs(const std::string& text, double& seconds, std::string& reason);

// The transform from rotation vector (degrees) and translation (mm).
Eigen::Isometry3d RigidBodyErrorFrom(const Eigen::Vector3d& rotationDeg, const Eigen::Vector3d& translationMm);

// Takes "--rigid-body-error", "--latency-stamp-error" and "--imu-to-head-error" with their value into
// `overrides`; true when `option` was one of them (then `reason` says what was wrong
// if `ok` is false).
bool TakeSensorErrorOption(const std::string& option, const std::string& value, sSensorErrorOverrides& overrides,
                           bool& ok, std::string& reason);

extern const char kSensorErrorUsage[];

}  // namespace sim
