// Whether a recording's motion excites what a calibration estimates: the angular
// rate about each of the IMU's axes, and (with an accelerometer) gravity's direction
// swept forward and back and to each side. Each gives what the wearer should do, or
// an empty text when the motion will do.
#pragma once

#include "recording_track.h"

#include <string>

namespace halvex::calibration {

// Each IMU axis's rate must reach `minPeakDegPerSecond` (99th percentile of |rate|).
std::string RateExcitationRefusal(const cRecordingTrack& track, double minPeakDegPerSecond);

// Gravity's direction in 0.1 s means must tilt through `minRangeDeg` forward/back and sideways.
std::string TiltExcitationRefusal(const cRecordingTrack& track, double minRangeDeg);

}  // namespace halvex::calibration
