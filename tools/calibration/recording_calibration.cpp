#include "recording_calibration.h"

#include <string>

namespace halvex::calibrate {

std::vector<sDeviceOutcome> CalibrateDevices(const std::vector<sRecordedDevice>& devices) {
    std::vector<sDeviceOutcome> outcomes;
    outcomes.reserve(devices.size());
    for (const sRecordedDevice& device : devices) {
        sDeviceOutcome o;
        o.device = &device;
        o.result = calibration::Calibrate(device.recording);
        outcomes.push_back(std::move(o));
    }
    return outcomes;
}

sDeviceCalibration ToDeviceCalibration(const calibration::sCalibrationResult& r) {
    sDeviceCalibration c;
    c.rigidBodyInDevice = calibration::RigidBodyInDevice(r.value);
    c.opticalTimeOffset = r.value.opticalTimeOffsetMs / 1000.0;
    if (r.orientationOnly) return c;
    c.gyroCorrection = r.value.gyroCorrection;
    c.accelCorrection = r.value.accelCorrection;
    c.gyroBias = r.value.gyroBias;
    c.accelBias = r.value.accelBias;
    c.opticalPositionVariance = r.noise.opticalPositionVariance;
    c.opticalOrientationVariance = r.noise.opticalOrientationVariance;
    return c;
}

std::vector<const char*> EstimatedCalibrationFields(const calibration::sCalibrationResult& result) {
    if (result.orientationOnly) return {calibration_keys::kRigidBodyInDevice, calibration_keys::kOpticalTimeOffsetMs};
    size_t count = 0;
    const char* const* fields = CalibrationFields(count);
    return std::vector<const char*>(fields, fields + count);
}

bool IsNumericCalibrationField(const char* field) {
    const std::string name(field);
    return name.find("Variance") != std::string::npos || name == calibration_keys::kOpticalTimeOffsetMs;
}

}  // namespace halvex::calibrate
