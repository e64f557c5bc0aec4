// The factory calibration a simulated IMU stream publishes in its properties,
// as a driver reads it: biases and scales per axis, and the IMU-to-head transform.
#pragma once

#include "vrhost/host/host_options.h"

#include <openvr_driver.h>

#include <Eigen/Geometry>

namespace vrhost {

class cPropertyStore;

struct sImuCalibration {
    Vector3 gyroBias{};
    Vector3 gyroScale{1.0, 1.0, 1.0};
    Vector3 accelBias{};
    Vector3 accelScale{1.0, 1.0, 1.0};
    Eigen::Isometry3d imuToHead = Eigen::Isometry3d::Identity();
};

// Options over the simulated IMU's defaults: its biases, scale 1, and the
// headset geometry's IMU-to-head transform.
sImuCalibration ResolveImuCalibration(const sImuCalibrationOptions& options);

// Prop_ImuFactory*_Vector3 (3 floats) and Prop_ImuToHeadTransform_Matrix34 (3x4 floats).
void PublishImuCalibration(cPropertyStore& properties, vr::PropertyContainerHandle_t container,
                           const sImuCalibration& calibration);

}  // namespace vrhost
