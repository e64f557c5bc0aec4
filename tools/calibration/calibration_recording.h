// What a calibration is estimated from: one device's IMU samples (factory scales
// applied) and optical samples (the rigid body as streamed, at the sample time the
// driver computed), with the IMU-to-head transform the device used.
#pragma once

#include <Eigen/Core>
#include <Eigen/Geometry>

#include <vector>

namespace halvex::calibration {

struct sImuSample {
    double time = 0.0;  // s, IMU clock
    Eigen::Vector3d accel = Eigen::Vector3d::Zero();  // m/s^2
    Eigen::Vector3d gyro = Eigen::Vector3d::Zero();   // rad/s
};

struct sOpticalSample {
    double time = 0.0;  // s, the driver's optical sample time
    Eigen::Vector3d position = Eigen::Vector3d::Zero();                  // m, mocap frame
    Eigen::Quaterniond orientation = Eigen::Quaterniond::Identity();     // rigid body, mocap frame
};

struct sCalibrationRecording {
    std::vector<sImuSample> imu;          // in time order
    std::vector<sOpticalSample> optical;  // in time order
    // The IMU frame's pose in the device (head) frame: the device's IMU pose is the
    // aligned optical pose times this.
    Eigen::Isometry3d imuInDevice = Eigen::Isometry3d::Identity();
    // An orientation-only headset: its samples carry the body-frame angular velocity
    // and no accelerometer (accel is zero).
    bool orientationOnly = false;
};

}  // namespace halvex::calibration
