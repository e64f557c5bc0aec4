// One device's calibration result as the wizard shows it: what was estimated, with its
// standard error and quality, or why it was refused and what to do.
#pragma once

#include "recording_calibration.h"

#include <QString>

#include <string>

// "HMD", "Controller A", "Controller B"; any other slot as it is.
QString CalibrationSlotName(const std::string& slot);

// Rich text of one paragraph. An orientation-only headset's result says that its
// position and IMU were not estimated rather than show them as estimated zeros.
QString CalibrationOutcomeText(const halvex::calibrate::sDeviceOutcome& outcome);
