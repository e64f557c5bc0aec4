#include "recording/device_calibration.h"

#include <cmath>
#include <cstdlib>
#include <sstream>
#include <vector>

namespace halvex {
namespace calibration_keys {
const char kRigidBodyInDevice[] = "RigidBodyInDevice";
const char kOpticalTimeOffsetMs[] = "OpticalTimeOffsetMs";
const char kGyroCorrection[] = "GyroCorrection";
const char kAccelCorrection[] = "AccelCorrection";
const char kGyroBias[] = "GyroBias";
const char kAccelBias[] = "AccelBias";
const char kOpticalPositionVariance[] = "OpticalPositionVariance";
const char kOpticalOrientationVariance[] = "OpticalOrientationVariance";
}  // namespace calibration_keys

namespace {

using namespace calibration_keys;
constexpr double kDegree = 3.14159265358979323846 / 180.0;
const char* const kFields[] = {kRigidBodyInDevice, kOpticalTimeOffsetMs, kGyroCorrection, kAccelCorrection, kGyroBias,
                               kAccelBias, kOpticalPositionVariance, kOpticalOrientationVariance};

bool ParseNumbers(const std::string& text, size_t count, std::vector<double>& values, std::string& reason) {
    values.clear();
    std::stringstream in(text);
    std::string item;
    while (std::getline(in, item, ',')) {
        size_t start = item.find_first_not_of(" \t");
        size_t end = item.find_last_not_of(" \t");
        const std::string trimmed = start == std::string::npos ? std::string() : item.substr(start, end - start + 1);
        char* stop = nullptr;
        const double value = std::strtod(trimmed.c_str(), &stop);
        if (trimmed.empty() || stop != trimmed.c_str() + trimmed.size() || !std::isfinite(value)) {
            reason = "\"" + trimmed + "\" is not a finite number";
            return false;
        }
        values.push_back(value);
    }
    if (values.size() != count || (!text.empty() && text.back() == ',')) {
        reason = "expected " + std::to_string(count) + " comma-separated numbers, got \"" + text + "\"";
        return false;
    }
    return true;
}

std::string Join(const double* values, size_t count) {
    std::string text;
    char number[40];
    for (size_t i = 0; i < count; ++i) {
        std::snprintf(number, sizeof number, "%.17g", values[i]);
        text += (i ? "," : "") + std::string(number);
    }
    return text;
}

Eigen::Vector3d RotationVectorDeg(const Eigen::Matrix3d& rotation) {
    const Eigen::AngleAxisd a(rotation);
    return a.angle() * a.axis() / kDegree;
}

}  // namespace

std::string CalibrationKey(const char* slot, const char* field) { return std::string("calibration") + slot + field; }

const char* const* CalibrationFields(size_t& count) {
    count = sizeof(kFields) / sizeof(kFields[0]);
    return kFields;
}

bool sDeviceCalibration::ImuIsIdentity() const {
    return gyroCorrection == Eigen::Matrix3d::Identity() && accelCorrection == Eigen::Matrix3d::Identity() &&
           gyroBias.isZero(0.0) && accelBias.isZero(0.0);
}

bool sDeviceCalibration::IsIdentity() const {
    return ImuIsIdentity() && rigidBodyInDevice.matrix() == Eigen::Matrix4d::Identity() && opticalTimeOffset == 0.0 &&
           opticalPositionVariance == 0.0 && opticalOrientationVariance == 0.0;
}

Eigen::Vector3d sDeviceCalibration::RotationDeg() const { return RotationVectorDeg(rigidBodyInDevice.rotation()); }

Eigen::Vector3d sDeviceCalibration::TranslationMm() const { return rigidBodyInDevice.translation() * 1000.0; }

bool operator==(const sDeviceCalibration& a, const sDeviceCalibration& b) {
    return a.rigidBodyInDevice.matrix() == b.rigidBodyInDevice.matrix() && a.opticalTimeOffset == b.opticalTimeOffset &&
           a.gyroCorrection == b.gyroCorrection && a.accelCorrection == b.accelCorrection && a.gyroBias == b.gyroBias &&
           a.accelBias == b.accelBias && a.opticalPositionVariance == b.opticalPositionVariance &&
           a.opticalOrientationVariance == b.opticalOrientationVariance;
}

void sDeviceCalibration::CorrectImu(double accel[3], double gyro[3]) const {
    const Eigen::Vector3d a = accelCorrection * (Eigen::Vector3d(accel[0], accel[1], accel[2]) - accelBias);
    const Eigen::Vector3d g = gyroCorrection * (Eigen::Vector3d(gyro[0], gyro[1], gyro[2]) - gyroBias);
    for (int i = 0; i < 3; ++i) {
        accel[i] = a[i];
        gyro[i] = g[i];
    }
}

bool ParseCalibrationField(const std::string& field, const std::string& text, sDeviceCalibration& c,
                           std::string& reason) {
    if (text.empty()) return true;
    std::vector<double> v;
    if (field == kRigidBodyInDevice) {
        if (!ParseNumbers(text, 6, v, reason)) return false;
        const Eigen::Vector3d rotation = Eigen::Vector3d(v[0], v[1], v[2]) * kDegree;
        if (rotation.norm() >= 3.14159265358979323846) {
            reason = "the rotation must be below 180 degrees";
            return false;
        }
        Eigen::Isometry3d pose = Eigen::Isometry3d::Identity();
        if (rotation.norm() > 0.0) pose.linear() = Eigen::AngleAxisd(rotation.norm(), rotation.normalized()).toRotationMatrix();
        pose.translation() = Eigen::Vector3d(v[3], v[4], v[5]) / 1000.0;
        c.rigidBodyInDevice = pose;
    } else if (field == kOpticalTimeOffsetMs) {
        if (!ParseNumbers(text, 1, v, reason)) return false;
        if (std::fabs(v[0]) > 1000.0) {
            reason = "the offset must be within +-1000 ms";
            return false;
        }
        c.opticalTimeOffset = v[0] / 1000.0;
    } else if (field == kGyroCorrection || field == kAccelCorrection) {
        if (!ParseNumbers(text, 9, v, reason)) return false;
        Eigen::Matrix3d m;
        for (int i = 0; i < 9; ++i) m(i / 3, i % 3) = v[static_cast<size_t>(i)];
        // A correction far from the identity is a mistake, not an IMU.
        if ((m - Eigen::Matrix3d::Identity()).cwiseAbs().maxCoeff() > 0.2) {
            reason = "every element must be within 0.2 of the identity's";
            return false;
        }
        (field == kGyroCorrection ? c.gyroCorrection : c.accelCorrection) = m;
    } else if (field == kGyroBias || field == kAccelBias) {
        if (!ParseNumbers(text, 3, v, reason)) return false;
        (field == kGyroBias ? c.gyroBias : c.accelBias) = Eigen::Vector3d(v[0], v[1], v[2]);
    } else if (field == kOpticalPositionVariance || field == kOpticalOrientationVariance) {
        if (!ParseNumbers(text, 1, v, reason)) return false;
        if (v[0] < 0.0) {
            reason = "a variance cannot be negative";
            return false;
        }
        (field == kOpticalPositionVariance ? c.opticalPositionVariance : c.opticalOrientationVariance) = v[0];
    } else {
        reason = "unknown calibration field \"" + field + "\"";
        return false;
    }
    return true;
}

std::string FormatCalibrationField(const std::string& field, const sDeviceCalibration& c) {
    if (field == kRigidBodyInDevice) {
        const Eigen::Vector3d r = c.RotationDeg();
        const Eigen::Vector3d t = c.TranslationMm();
        const double v[6] = {r.x(), r.y(), r.z(), t.x(), t.y(), t.z()};
        return Join(v, 6);
    }
    if (field == kOpticalTimeOffsetMs) {
        const double v = c.opticalTimeOffset * 1000.0;
        return Join(&v, 1);
    }
    if (field == kGyroCorrection || field == kAccelCorrection) {
        const Eigen::Matrix3d& m = field == kGyroCorrection ? c.gyroCorrection : c.accelCorrection;
        double v[9];
        for (int i = 0; i < 9; ++i) v[i] = m(i / 3, i % 3);
        return Join(v, 9);
    }
    if (field == kGyroBias) return Join(c.gyroBias.data(), 3);
    if (field == kAccelBias) return Join(c.accelBias.data(), 3);
    if (field == kOpticalPositionVariance) return Join(&c.opticalPositionVariance, 1);
    if (field == kOpticalOrientationVariance) return Join(&c.opticalOrientationVariance, 1);
    return {};
}

std::string CalibrationFileText(const sDeviceCalibration& calibration) {
    std::string text = "# calibration in force: corrected IMU = correction * (measured - bias)\n";
    for (const char* field : kFields) text += std::string(field) + "=" + FormatCalibrationField(field, calibration) + "\n";
    return text;
}

bool ParseCalibrationFile(const std::string& text, sDeviceCalibration& calibration, long& line, std::string& reason) {
    std::stringstream in(text);
    std::string row;
    line = 0;
    while (std::getline(in, row)) {
        ++line;
        if (!row.empty() && row.back() == '\r') row.pop_back();
        if (row.empty() || row[0] == '#') continue;
        const size_t equals = row.find('=');
        if (equals == std::string::npos) {
            reason = "expected field=value";
            return false;
        }
        if (!ParseCalibrationField(row.substr(0, equals), row.substr(equals + 1), calibration, reason)) return false;
    }
    line = 0;
    return true;
}

}  // namespace halvex
