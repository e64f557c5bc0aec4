// A device's calibration as the driver applies it: the rigid body's pose in the
// device frame, the offset added to every optical sample time, the IMU's
// corrections (corrected = correction * (measured - bias), after the factory
// scales) and, optionally, the optical variances the filter is given. Its text
// forms are those of the settings and of the small file a recording writes
// beside its CSV files. The default is the identity: today's behaviour.
#pragma once

#include <Eigen/Core>
#include <Eigen/Geometry>

#include <string>

namespace halvex {

struct sDeviceCalibration {
    Eigen::Isometry3d rigidBodyInDevice = Eigen::Isometry3d::Identity();
    double opticalTimeOffset = 0.0;  // s
    Eigen::Matrix3d gyroCorrection = Eigen::Matrix3d::Identity();
    Eigen::Matrix3d accelCorrection = Eigen::Matrix3d::Identity();
    Eigen::Vector3d gyroBias = Eigen::Vector3d::Zero();   // rad/s
    Eigen::Vector3d accelBias = Eigen::Vector3d::Zero();  // m/s^2
    double opticalPositionVariance = 0.0;     // m^2; 0: the device's own
    double opticalOrientationVariance = 0.0;  // rad^2; 0: the device's own

    bool IsIdentity() const;
    // The IMU correction is the identity (no bias, no matrix).
    bool ImuIsIdentity() const;
    // Applies the IMU correction in place.
    void CorrectImu(double accel[3], double gyro[3]) const;
    // The rigid body's pose in the device frame as the settings state it.
    Eigen::Vector3d RotationDeg() const;  // rotation vector
    Eigen::Vector3d TranslationMm() const;
    // The optical pose (aligned rigid body) moved onto the device frame.
    Eigen::Isometry3d DeviceFromOptical(const Eigen::Isometry3d& opticalPose) const {
        return opticalPose * rigidBodyInDevice.inverse();
    }
};

// Every field exactly equal.
bool operator==(const sDeviceCalibration& a, const sDeviceCalibration& b);
inline bool operator!=(const sDeviceCalibration& a, const sDeviceCalibration& b) { return !(a == b); }

// Setting keys in section "driver_halvex": "calibration" + slot + field, slot
// "Head", "ControllerA" or "ControllerB".
namespace calibration_keys {
extern const char kRigidBodyInDevice[];           // string "RX,RY,RZ,TX,TY,TZ": degrees, mm
extern const char kOpticalTimeOffsetMs[];         // float, ms
extern const char kGyroCorrection[];              // string, 9 numbers row-major
extern const char kAccelCorrection[];             // string, 9 numbers row-major
extern const char kGyroBias[];                    // string "X,Y,Z", rad/s
extern const char kAccelBias[];                   // string "X,Y,Z", m/s^2
extern const char kOpticalPositionVariance[];     // float, m^2 (0: the device's own)
extern const char kOpticalOrientationVariance[];  // float, rad^2 (0: the device's own)
}  // namespace calibration_keys
std::string CalibrationKey(const char* slot, const char* field);

// Each parses one setting's text into `calibration`; empty text leaves the
// default. False with a reason for anything malformed or non-finite, the field
// then untouched.
bool ParseCalibrationField(const std::string& field, const std::string& text, sDeviceCalibration& calibration,
                           std::string& reason);
// The text a setting holds for `field`.
std::string FormatCalibrationField(const std::string& field, const sDeviceCalibration& calibration);
// The fields, in the order files list them.
const char* const* CalibrationFields(size_t& count);

// The file beside a recording's CSVs: "field=value" lines, one per field.
std::string CalibrationFileText(const sDeviceCalibration& calibration);
// False with a 1-based line and reason.
bool ParseCalibrationFile(const std::string& text, sDeviceCalibration& calibration, long& line, std::string& reason);

}  // namespace halvex
