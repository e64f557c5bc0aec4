// Writes calibrations into the runtime's settings file, section "driver_halvex",
// as the settings utility does without a running runtime: every other key kept,
// the file replaced in one step.
#pragma once

#include "recording/device_calibration.h"

#include <string>
#include <utility>
#include <vector>

namespace halvex::calibrate {

// (slot, calibration) pairs. False with a one-line reason; the file is then unchanged.
bool ApplyToSettingsFile(const std::string& file, const std::vector<std::pair<std::string, sDeviceCalibration>>& slots,
                         std::string& error);

}  // namespace halvex::calibrate
