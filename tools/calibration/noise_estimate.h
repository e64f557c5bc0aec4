// The noise of each sensor, measured from the recording itself: the optical pose's
// scatter about a quadratic through seven neighbouring frames (short enough that
// head motion fits it), and the IMU's from its second differences (motion at 1 kHz
// hardly changes from one sample to the next). As the variances the driver passes.
#pragma once

#include "recording_track.h"

namespace halvex::calibration {

struct sNoiseEstimate {
    double opticalPositionVariance = 0.0;     // m^2, per axis
    double opticalOrientationVariance = 0.0;  // rad^2, per rotation-vector axis
    double gyroVariance = 0.0;                // (rad/s)^2 per sample and axis
    double accelVariance = 0.0;               // (m/s^2)^2 per sample and axis
};

sNoiseEstimate EstimateNoise(const cRecordingTrack& track);

}  // namespace halvex::calibration
