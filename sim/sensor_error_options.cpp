#include "sensor_error_options.h"

#include <cmath>
#include <cstdlib>
#include <sstream>
#include <vector>

namespace sim {
namespace {

constexpr double kDegree = 3.14159265358979323846 / 180.0;

bool ParseFinite(const std::string& text, double& value) {
    if (text.empty()) return false;
    char* end = nullptr;
    value = std::strtod(text.c_str(), &end);
    return end == text.c_str() + text.size() && std::isfinite(value);
}

}  // namespace

const char kSensorErrorUsage[] =
    "[--rigid-body-error RX,RY,RZ,TX,TY,TZ] [--latency-stamp-error MS] [--imu-to-head-error RX,RY,RZ,TX,TY,TZ]";

Eigen::Isometry3d RigidBodyErrorFrom(const Eigen::Vector3d& rotationDeg, const Eigen::Vector3d& translationMm) {
    Eigen::Isometry3d error = Eigen::Isometry3d::Identity();
    const Eigen::Vector3d rotation = rotationDeg * kDegree;
    const double angle = rotation.norm();
    if (angle > 0.0) error.linear() = Eigen::AngleAxisd(angle, rotation / angle).toRotationMatrix();
    error.translation() = translationMm / 1000.0;
    return error;
}

namespace {

// RX,RY,RZ,TX,TY,TZ of `option` (degrees, mm).
bool ParseErrorTransform(const std::string& option, const std::string& text, Eigen::Isometry3d& transform,
                         std::string& reason) {
    std::vector<double> values;
    std::stringstream in(text);
    std::string field;
    while (std::getline(in, field, ',')) {
        double value = 0.0;
        if (!ParseFinite(field, value)) {
            reason = option + ": \"" + field + "\" is not a finite number";
            return false;
        }
        values.push_back(value);
    }
    if (values.size() != 6 || (!text.empty() && text.back() == ',')) {
        reason = option + ": expected RX,RY,RZ,TX,TY,TZ (degrees, mm), got \"" + text + "\"";
        return false;
    }
    const Eigen::Vector3d rotationDeg(values[0], values[1], values[2]);
    if (rotationDeg.norm() >= 180.0) {
        reason = option + ": the rotation must be below 180 degrees";
        return false;
    }
    transform = RigidBodyErrorFrom(rotationDeg, Eigen::Vector3d(values[3], values[4], values[5]));
    return true;
}

}  // namespace

bool ParseRigidBodyError(const std::string& text, Eigen::Isometry3d& rigidBodyInHead, std::string& reason) {
    return ParseErrorTransform("--rigid-body-error", text, rigidBodyInHead, reason);
}

bool ParseLatencyStampErrorMs(const std::string& text, double& seconds, std::string& reason) {
    double ms = 0.0;
    if (!ParseFinite(text, ms) || std::fabs(ms) > 1000.0) {
        reason = "--latency-stamp-error: expected milliseconds within +-1000, got \"" + text + "\"";
        return false;
    }
    seconds = ms / 1000.0;
    return true;
}

bool TakeSensorErrorOption(const std::string& option, const std::string& value, sSensorErrorOverrides& overrides,
                           bool& ok, std::string& reason) {
    if (option == "--rigid-body-error") {
        ok = ParseRigidBodyError(value, overrides.rigidBodyError, reason);
        overrides.hasRigidBodyError = overrides.hasRigidBodyError || ok;
        return true;
    }
    if (option == "--imu-to-head-error") {
        ok = ParseErrorTransform(option, value, overrides.imuToHeadError, reason);
        overrides.hasImuToHeadError = overrides.hasImuToHeadError || ok;
        return true;
    }
    if (option == "--latency-stamp-error") {
        ok = ParseLatencyStampErrorMs(value, overrides.latencyStampError, reason);
        overrides.hasLatencyStampError = overrides.hasLatencyStampError || ok;
        return true;
    }
    return false;
}

}  // namespace sim
