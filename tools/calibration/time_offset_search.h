// The optical time offset. The first guess: the magnitude of the angular rate seen
// optically and measured by the gyroscope, cross-correlated over +-maxOffset
// (magnitudes do not depend on how the IMU sits in the rigid body); then refined on
// the gyroscope fit of the window equations.
#pragma once

#include "least_squares.h"
#include "recording_track.h"

namespace halvex::calibration {

// The offset to add to every optical time; NaN when the recording has too little motion.
double CoarseTimeOffset(const cRecordingTrack& track, double maxOffset);

struct sTimeOffset {
    bool ok = false;         // false: the optical and IMU motion do not match
    double seconds = 0.0;    // to add to every optical time
    double curvature = 0.0;  // second derivative of the gyroscope fit's SSR there, 1/s^2
};

// The coarse offset refined on a grid of 0.5 ms, then a parabola through the best
// point and its neighbours; `midTime` as for the window equations.
sTimeOffset EstimateTimeOffset(const cRecordingTrack& track, double maxOffset, double halfWindow, double midTime);

// The offset's standard error in ms, from the SSR's curvature and the gyroscope fit
// at the offset (`gyro` solved from `system`).
double TimeOffsetStandardErrorMs(const sTimeOffset& offset, const sSolution& gyro, const sLinearSystem& system);

}  // namespace halvex::calibration
