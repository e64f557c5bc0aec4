// One device's calibration from a recording of about a minute of motion: the
// optical time offset, the rigid body's pose in the device frame, the IMU's
// gyroscope and accelerometer corrections and biases, each with its standard
// error, the residuals before and after, and the sensor noise as filter variances.
// A recording that does not excite what must be estimated is refused with what
// the wearer should do. An orientation-only headset (no accelerometer) gets the
// rotation and time offset alone (orientation_calibration.h).
//
// Conventions: corrected = correction * (measured - bias), measured with the factory
// scales applied; the IMU frame is the accelerometer's (its correction is upper
// triangular), since a rotation shared by both sensors cannot be told from the
// rigid body's. The device's IMU pose is rigid body (aligned) * rigidBodyInDevice^-1
// * imuInDevice.
#pragma once

#include "calibration_recording.h"
#include "noise_estimate.h"

#include <Eigen/Core>
#include <Eigen/Geometry>

#include <string>

namespace halvex::calibration {

struct sCalibrationOptions {
    double halfWindow = 0.25;         // s, of the smoothing windows
    double maxTimeOffset = 0.1;       // s, searched either way
    double minPeakRateDegPerSecond = 30.0;  // per axis, 99th percentile
    double minTiltRangeDeg = 20.0;    // of gravity's direction, forward/back and sideways
};

struct sCalibrationValues {
    Eigen::Vector3d rotationDeg = Eigen::Vector3d::Zero();    // rigid body in device, rotation vector
    Eigen::Vector3d translationMm = Eigen::Vector3d::Zero();  // rigid body in device
    double opticalTimeOffsetMs = 0.0;                         // added to every optical sample time
    Eigen::Matrix3d gyroCorrection = Eigen::Matrix3d::Identity();
    Eigen::Matrix3d accelCorrection = Eigen::Matrix3d::Identity();
    Eigen::Vector3d gyroBias = Eigen::Vector3d::Zero();   // rad/s, at the recording's middle
    Eigen::Vector3d accelBias = Eigen::Vector3d::Zero();  // m/s^2, at the recording's middle
};

struct sCalibrationResult {
    bool ok = false;
    // From an orientation-only recording: only the rigid body's rotation and the time
    // offset are estimated; every other value stays the identity (translation zero, no
    // IMU correction or bias, no accelerometer residuals or recommended variances).
    bool orientationOnly = false;
    std::string refusal;  // what the wearer should do, when not ok
    sCalibrationValues value;
    sCalibrationValues standardError;  // same fields, each estimate's standard error
    double gyroResidualBefore = 0.0;   // rad/s RMS over the windows, without any calibration
    double gyroResidualAfter = 0.0;
    double accelResidualBefore = 0.0;  // m/s^2 RMS
    double accelResidualAfter = 0.0;
    sNoiseEstimate noise;
    int windows = 0;
    double seconds = 0.0;  // of IMU and optical data together
};

sCalibrationResult Calibrate(const sCalibrationRecording& recording, const sCalibrationOptions& options = {});

// The rigid body's pose in the device frame from its rotation vector (degrees) and translation (mm).
Eigen::Isometry3d RigidBodyInDevice(const sCalibrationValues& values);

}  // namespace halvex::calibration
