#include "vrhost/world/imu_calibration.h"

#include "vrhost/interfaces/property_store.h"

#include "sim/imu_model.h"
#include "sim/tracking_geometry.h"

namespace vrhost {
namespace {

Vector3 ToVector3(const Eigen::Vector3d& v) { return {v.x(), v.y(), v.z()}; }

void PublishVector3(cPropertyStore& properties, vr::PropertyContainerHandle_t container,
                    vr::ETrackedDeviceProperty prop, const Vector3& value) {
    vr::HmdVector3_t v{};
    for (int i = 0; i < 3; ++i) v.v[i] = static_cast<float>(value[static_cast<size_t>(i)]);
    properties.HostSetBytes(container, prop, vr::k_unHmdVector3PropertyTag, &v, sizeof(v));
}

}  // namespace

sImuCalibration ResolveImuCalibration(const sImuCalibrationOptions& options) {
    const sim::sImuModelParams model;
    sImuCalibration calibration;
    calibration.gyroBias = options.gyroBias.value_or(ToVector3(model.gyroBias));
    calibration.accelBias = options.accelBias.value_or(ToVector3(model.accelBias));
    calibration.gyroScale = options.gyroScale.value_or(Vector3{1.0, 1.0, 1.0});
    calibration.accelScale = options.accelScale.value_or(Vector3{1.0, 1.0, 1.0});
    calibration.imuToHead = sim::HeadsetImuToHead();
    return calibration;
}

void PublishImuCalibration(cPropertyStore& properties, vr::PropertyContainerHandle_t container,
                           const sImuCalibration& calibration) {
    PublishVector3(properties, container, vr::Prop_ImuFactoryGyroBias_Vector3, calibration.gyroBias);
    PublishVector3(properties, container, vr::Prop_ImuFactoryGyroScale_Vector3, calibration.gyroScale);
    PublishVector3(properties, container, vr::Prop_ImuFactoryAccelerometerBias_Vector3, calibration.accelBias);
    PublishVector3(properties, container, vr::Prop_ImuFactoryAccelerometerScale_Vector3, calibration.accelScale);
    vr::HmdMatrix34_t m{};
    const Eigen::Matrix4d matrix = calibration.imuToHead.matrix();
    for (int row = 0; row < 3; ++row) {
        for (int col = 0; col < 4; ++col) m.m[row][col] = static_cast<float>(matrix(row, col));
    }
    properties.HostSetBytes(container, vr::Prop_ImuToHeadTransform_Matrix34, vr::k_unHmdMatrix34PropertyTag, &m,
                            sizeof(m));
}

}  // namespace vrhost
