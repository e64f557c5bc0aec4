#pragma once

#include <Eigen/Core>

namespace halvex {

// One buffered IMU step, kept for placing later optical samples in the past.
struct sImuRecord {
    double time = 0.0;  // the sample's own time, s
    double dt = 0.0;    // step still to be applied to the delayed copy, s
    Eigen::Vector3d accelerometer = Eigen::Vector3d::Zero();  // m/s^2, raw
    Eigen::Vector3d gyroscope = Eigen::Vector3d::Zero();      // rad/s, raw
};

}  // namespace halvex
