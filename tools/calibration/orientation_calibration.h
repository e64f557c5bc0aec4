// The calibration of an orientation-only headset, whose runtime gives its orientation
// and body-frame angular velocity but no accelerometer: the optical time offset
// (rate magnitudes cross-correlated, then refined on the gyroscope fit, as for an IMU)
// and the rigid body's rotation in the device frame, the rotation nearest (SVD) to the
// least-squares map from the headset's rates onto the optical ones. Its translation,
// IMU corrections and biases are not estimated: they stay the identity.
#pragma once

#include "calibration.h"
#include "recording_track.h"

namespace halvex::calibration {

// The rest of Calibrate for such a recording, its length already checked (`result`
// holds its seconds); `midTime` is the recording's middle.
void EstimateOrientationOnly(const cRecordingTrack& track, const sCalibrationRecording& recording,
                             const sCalibrationOptions& options, double midTime, sCalibrationResult& result);

}  // namespace halvex::calibration
