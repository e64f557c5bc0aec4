// The first guess of the optical time offset: the magnitude of the angular rate
// seen optically and measured by the gyroscope, cross-correlated over +-maxOffset.
// Magnitudes do not depend on how the IMU sits in the rigid body.
#pragma once

#include "recording_track.h"

namespace halvex::calibration {

// The offset to add to every optical time; NaN when the recording has too little motion.
double CoarseTimeOffset(const cRecordingTrack& track, double maxOffset);

}  // namespace halvex::calibration
