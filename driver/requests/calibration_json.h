// A device's calibration as the status and reload answers show it.
#pragma once

#include "recording/device_calibration.h"

#include <string>

namespace halvex::requests {

// {"identity","rotationDeg":[3],"translationMm":[3],"opticalTimeOffsetMs","imuIdentity",
//  "gyroCorrection":[9],"accelCorrection":[9] (row-major),"gyroBias":[3],"accelBias":[3],
//  "opticalPositionVariance","opticalOrientationVariance" (null: the device's own)}
std::string CalibrationJson(const sDeviceCalibration& calibration);

}  // namespace halvex::requests
