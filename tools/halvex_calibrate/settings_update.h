// Writes calibrations into the runtime's settings file, section "driver_halvex",
// as the settings utility does without a running runtime: every other key kept,
// the file replaced in one step.
#pragma once

#include "recording/device_calibration.h"

#include <string>
#include <vector>

namespace halvex::calibrate {

struct sSlotCalibration {
    std::string slot;  // "Head", "ControllerA", "ControllerB"
    sDeviceCalibration calibration;
    std::vector<const char*> fields;  // the keys written; the slot's others are kept
};

// False with a one-line reason; the file is then unchanged.
bool ApplyToSettingsFile(const std::string& file, const std::vector<sSlotCalibration>& slots, std::string& error);

}  // namespace halvex::calibrate
