// A calibration recording made by the simulation instead of a driver, with the
// values a perfect calibration would find: for the tests and the accuracy bench.
#pragma once

#include "calibration.h"
#include "calibration_recording.h"

#include "sim/sensor_profile.h"

#include <cstdint>
#include <string>

namespace halvex::calibration {

// The body seeded `seed` moving along `scenario` for `seconds`, seen by the IMU and
// the mocap system of that profile. `truth` gets what the recording should yield:
// the rigid body in the device frame the driver believes (the headset's own
// IMU-to-head error is part of it: nothing in a recording can tell the two apart).
sCalibrationRecording SimulateRecording(const std::string& scenario, sim::eSensorProfile profile, uint32_t seed,
                                        const sim::sSensorErrorOverrides& errors, double seconds,
                                        sCalibrationValues* truth = nullptr);
// The same with the sensors given.
sCalibrationRecording SimulateRecording(const std::string& scenario, const sim::sSensorProfile& sensors, uint32_t seed,
                                        double seconds, sCalibrationValues* truth = nullptr);

// The body seen by an orientation-only headset instead: the samples the stand-in
// Oculus child writes (the headset's body-frame rate at 1 kHz, no accelerometer), and
// the mocap system of `sensors`. `truth` gets the rotation and time offset it should
// yield; its other values stay the identity.
sCalibrationRecording SimulateOrientationOnlyRecording(const std::string& scenario, const sim::sSensorProfile& sensors,
                                                       uint32_t seed, double seconds,
                                                       sCalibrationValues* truth = nullptr);

}  // namespace halvex::calibration
