// What halvex_calibrate prints: a report a person can read, or JSON with the
// field names the settings and other programs use.
#pragma once

#include "recording_calibration.h"

#include <nlohmann/json.hpp>

#include <string>

namespace halvex::calibrate {

std::string TextReport(const sDeviceOutcome& outcome);
nlohmann::json JsonReport(const sDeviceOutcome& outcome);

}  // namespace halvex::calibrate
