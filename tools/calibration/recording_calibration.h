// A recording folder's devices calibrated, as halvex_calibrate and the settings
// utility's wizard both do it: each device's estimation, and its outcome in the
// form the driver's settings take.
#pragma once

#include "calibration.h"
#include "recording_input.h"

#include "recording/device_calibration.h"

#include <vector>

namespace halvex::calibrate {

struct sDeviceOutcome {
    const sRecordedDevice* device = nullptr;  // into the caller's list
    calibration::sCalibrationResult result;
};

// One outcome per device, in the list's order.
std::vector<sDeviceOutcome> CalibrateDevices(const std::vector<sRecordedDevice>& devices);

// What the driver applies, from an accepted estimate; for an orientation-only headset
// the rotation and time offset, everything else the identity.
sDeviceCalibration ToDeviceCalibration(const calibration::sCalibrationResult& result);

// The setting fields an estimate gives values for: every field, or for an
// orientation-only headset the rigid body (its rotation) and the time offset alone.
std::vector<const char*> EstimatedCalibrationFields(const calibration::sCalibrationResult& result);

// Whether the driver reads `field` as a float setting (otherwise as a string).
bool IsNumericCalibrationField(const char* field);

}  // namespace halvex::calibrate
