#include "calibration_report.h"

#include <cstdio>
#include <utility>

namespace halvex::calibrate {
namespace {

nlohmann::json Vector(const Eigen::Vector3d& v) { return nlohmann::json::array({v.x(), v.y(), v.z()}); }

nlohmann::json Matrix(const Eigen::Matrix3d& m) {
    nlohmann::json rows = nlohmann::json::array();
    for (int r = 0; r < 3; ++r) rows.push_back(nlohmann::json::array({m(r, 0), m(r, 1), m(r, 2)}));
    return rows;
}

nlohmann::json Values(const calibration::sCalibrationValues& v) {
    return {{"rigidBodyInDevice", {{"rotationDeg", Vector(v.rotationDeg)}, {"translationMm", Vector(v.translationMm)}}},
            {"opticalTimeOffsetMs", v.opticalTimeOffsetMs},
            {"gyroCorrection", Matrix(v.gyroCorrection)},
            {"accelCorrection", Matrix(v.accelCorrection)},
            {"gyroBias", Vector(v.gyroBias)},
            {"accelBias", Vector(v.accelBias)}};
}

std::string Line(const char* format, double a = 0, double b = 0, double c = 0, double d = 0, double e = 0,
                 double f = 0) {
    char text[512];
    std::snprintf(text, sizeof text, format, a, b, c, d, e, f);
    return text;
}

// What an orientation-only headset's estimate leaves at the identity.
const char* const kNotEstimatedWithoutAccelerometer[] = {"rigidBodyInDevice.translationMm", "gyroCorrection",
                                                         "accelCorrection", "gyroBias", "accelBias", "recommended"};

nlohmann::json OrientationOnlyReport(nlohmann::json j, const calibration::sCalibrationResult& r) {
    j.update(Values(r.value));
    j["estimated"] = {"rigidBodyInDevice.rotationDeg", "opticalTimeOffsetMs"};
    j["notEstimated"] = kNotEstimatedWithoutAccelerometer;
    nlohmann::json se = Values(r.standardError);
    se["rigidBodyInDevice"]["translationMm"] = nullptr;
    for (const char* field : {"gyroCorrection", "accelCorrection", "gyroBias", "accelBias"}) se[field] = nullptr;
    se["opticalTimeOffsetMs"] = r.standardError.opticalTimeOffsetMs;
    j["standardError"] = se;
    j["residuals"] = {{"gyroRmsRadPerSecond", {{"before", r.gyroResidualBefore}, {"after", r.gyroResidualAfter}}},
                      {"accelRmsMetresPerSecond2", nullptr}};
    j["windows"] = r.windows;
    return j;
}

}  // namespace

nlohmann::json JsonReport(const sDeviceOutcome& o) {
    const calibration::sCalibrationResult& r = o.result;
    nlohmann::json j = {{"file", o.device->rawFile},
                        {"device", o.device->deviceIndex},
                        {"slot", o.device->slot},
                        {"ok", r.ok},
                        {"orientationOnly", r.orientationOnly},
                        {"seconds", r.seconds}};
    if (!r.ok) {
        j["refusal"] = r.refusal;
        return j;
    }
    if (r.orientationOnly) return OrientationOnlyReport(std::move(j), r);
    j.update(Values(r.value));
    j["standardError"] = Values(r.standardError);
    j["standardError"]["opticalTimeOffsetMs"] = r.standardError.opticalTimeOffsetMs;
    j["recommended"] = {{"opticalPositionVariance", r.noise.opticalPositionVariance},
                        {"opticalOrientationVariance", r.noise.opticalOrientationVariance},
                        {"gyroNoiseVariance", r.noise.gyroVariance},
                        {"accelNoiseVariance", r.noise.accelVariance}};
    j["residuals"] = {{"gyroRmsRadPerSecond", {{"before", r.gyroResidualBefore}, {"after", r.gyroResidualAfter}}},
                      {"accelRmsMetresPerSecond2", {{"before", r.accelResidualBefore}, {"after", r.accelResidualAfter}}}};
    j["windows"] = r.windows;
    return j;
}

std::string TextReport(const sDeviceOutcome& o) {
    const calibration::sCalibrationResult& r = o.result;
    const calibration::sCalibrationValues& v = r.value;
    const calibration::sCalibrationValues& se = r.standardError;
    std::string text = "device " + std::to_string(o.device->deviceIndex) + " (" + o.device->slot + "), " +
                       o.device->rawFile + Line(", %.0f s\n", r.seconds);
    if (r.orientationOnly) text += "  orientation-only headset: the rigid body's rotation and the time offset alone\n";
    if (!r.ok) return text + "  not calibrated: " + r.refusal + "\n";
    text += Line("  optical time offset  %+.3f ms (+-%.3f), added to every optical sample time\n",
                 v.opticalTimeOffsetMs, se.opticalTimeOffsetMs);
    text += Line("  rigid body rotation  %+.3f %+.3f %+.3f deg (+-%.3f %.3f %.3f)\n", v.rotationDeg.x(),
                 v.rotationDeg.y(), v.rotationDeg.z(), se.rotationDeg.x(), se.rotationDeg.y(), se.rotationDeg.z());
    if (r.orientationOnly) {
        text += "  not estimated        rigid body position (stays 0), IMU corrections and biases (stay the identity):\n"
                "                       an orientation-only headset has no accelerometer\n";
        text += Line("  residuals            gyroscope %.4f -> %.4f rad/s\n", r.gyroResidualBefore, r.gyroResidualAfter);
        return text;
    }
    text += Line("  rigid body position  %+.2f %+.2f %+.2f mm (+-%.2f %.2f %.2f)\n", v.translationMm.x(),
                 v.translationMm.y(), v.translationMm.z(), se.translationMm.x(), se.translationMm.y(),
                 se.translationMm.z());
    for (const auto& [name, m, s] : {std::tuple{"gyroscope", v.gyroCorrection, se.gyroCorrection},
                                     std::tuple{"accelerometer", v.accelCorrection, se.accelCorrection}}) {
        text += std::string("  ") + name + " correction (+- largest " + Line("%.1e", s.maxCoeff()) + ")\n";
        for (int i = 0; i < 3; ++i) text += Line("    %+.5f %+.5f %+.5f\n", m(i, 0), m(i, 1), m(i, 2));
    }
    text += Line("  gyroscope bias       %+.5f %+.5f %+.5f rad/s (+-%.5f)\n", v.gyroBias.x(), v.gyroBias.y(),
                 v.gyroBias.z(), se.gyroBias.maxCoeff());
    text += Line("  accelerometer bias   %+.4f %+.4f %+.4f m/s^2 (+-%.4f)\n", v.accelBias.x(), v.accelBias.y(),
                 v.accelBias.z(), se.accelBias.maxCoeff());
    text += Line("  residuals            gyroscope %.4f -> %.4f rad/s, accelerometer %.4f -> %.4f m/s^2\n",
                 r.gyroResidualBefore, r.gyroResidualAfter, r.accelResidualBefore, r.accelResidualAfter);
    text += Line("  measured noise       optical position %.2e m^2, orientation %.2e rad^2; gyroscope %.2e, "
                 "accelerometer %.2e per sample\n",
                 r.noise.opticalPositionVariance, r.noise.opticalOrientationVariance, r.noise.gyroVariance,
                 r.noise.accelVariance);
    return text;
}

}  // namespace halvex::calibrate
