#include "requests/calibration_json.h"

#include "requests/json_text.h"

namespace halvex::requests {

namespace {

void AddMatrix(cJsonObject& object, const char* key, const Eigen::Matrix3d& m) {
    double rowMajor[9];
    for (int i = 0; i < 9; ++i) rowMajor[i] = m(i / 3, i % 3);
    object.Numbers(key, rowMajor, 9);
}

// A variance of 0 is none of the calibration's: the device keeps its own.
void AddVariance(cJsonObject& object, const char* key, double variance) {
    if (variance > 0.0)
        object.Number(key, variance);
    else
        object.Null(key);
}

}  // namespace

std::string CalibrationJson(const sDeviceCalibration& c) {
    cJsonObject object;
    object.Bool("identity", c.IsIdentity());
    const Eigen::Vector3d rotation = c.RotationDeg();
    const Eigen::Vector3d translation = c.TranslationMm();
    object.Numbers("rotationDeg", rotation.data(), 3);
    object.Numbers("translationMm", translation.data(), 3);
    object.Number("opticalTimeOffsetMs", c.opticalTimeOffset * 1000.0);
    object.Bool("imuIdentity", c.ImuIsIdentity());
    AddMatrix(object, "gyroCorrection", c.gyroCorrection);
    AddMatrix(object, "accelCorrection", c.accelCorrection);
    object.Numbers("gyroBias", c.gyroBias.data(), 3);
    object.Numbers("accelBias", c.accelBias.data(), 3);
    AddVariance(object, "opticalPositionVariance", c.opticalPositionVariance);
    AddVariance(object, "opticalOrientationVariance", c.opticalOrientationVariance);
    return object.Finish();
}

}  // namespace halvex::requests
