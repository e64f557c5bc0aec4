// How a vrhost session is set up; the command line maps onto this one to one.
#pragma once

#include "sim/sensor_profile.h"

#include <array>
#include <cstddef>
#include <optional>
#include <ostream>
#include <string>
#include <vector>

namespace vrhost {

using Vector3 = std::array<double, 3>;

// Factory calibration published in an IMU stream's properties. Unset values take
// the simulated IMU's own: its biases, and scale 1.
struct sImuCalibrationOptions {
    std::optional<Vector3> gyroBias;
    std::optional<Vector3> gyroScale;
    std::optional<Vector3> accelBias;
    std::optional<Vector3> accelScale;
};

// The simulated WMR headset's IMU interface (--hmd holographic with a scenario).
struct sWmrHeadsetOptions {
    enum class eInterface { Present, Silent, None };
    eInterface imuInterface = eInterface::Present;  // Silent: found, but sends nothing
    double clockDriftPpm = 0.0;                     // the headset clock against driver time
    double deliveryJitterSeconds = 0.0;             // extra report delay, uniform in [0, jitter)
    int extraInterfaces = 0;  // of the same vendor/product, enumerated first, sending other report ids
    // Faults: the IMU interface goes away this long after reports start (its readers
    // see end of file) and comes back, as a new node, this long later; below 0: never.
    double unplugAfterSeconds = -1.0;
    double unplugForSeconds = 1.0;
    // Once back, its clock counts from near zero again, as a headset's does after power-up.
    bool replugRestartsClock = false;
    // Every Nth sensor report is cut to `shortReportBytes` (0: none).
    int shortReportEvery = 0;
    size_t shortReportBytes = 100;
};

struct sHostOptions {
    // User settings file (steamvr.vrsettings format); empty: defaults only.
    std::string settingsFile;
    // Prop_TrackingSystemName_String of the simulated headset; nullopt leaves it unset.
    std::optional<std::string> hmdTrackingSystem = std::string("lighthouse");
    // Prop_SerialNumber_String of the simulated headset.
    std::string hmdSerial = "LHR-VRHOST00";
    // Interface versions GetGenericInterface refuses (105), to test a driver's fallbacks.
    std::vector<std::string> withheldInterfaces;
    // Every pose update as a CSV row; empty: none.
    std::string posesCsvFile;
    // The driver log, byte for byte; empty: none.
    std::string logFile;
    // Driver log echo, one line per message (the program passes stdout); not owned.
    std::ostream* logEcho = nullptr;
    double frameRateHz = 90.0;
    // Bounds on what stays in memory for PoseUpdates() and Log(); counting goes on.
    size_t poseHistoryLimit = 200000;
    size_t logCaptureLimit = 100000;
    // The runtime deactivates every device before the provider's Cleanup.
    bool deactivateBeforeCleanup = true;

    // Motion scenario (sim::cMotionScenario::Names()) the simulated headset and the
    // tracked bodies follow; empty: no motion, no IMU streams, no truth comparison.
    std::string scenario;
    // Monotonic second the scenario starts at (sim/scenario_epoch.h); the mocap
    // simulator's own must be the same.
    double scenarioEpoch = 0.0;
    // The IMU streams open only this long after Init (a runtime that is slow to
    // publish them).
    double imuDelaySeconds = 0.0;
    // The sensors of the simulated IMUs and of the truth the optical poses follow;
    // the same profile as the mocap simulator's.
    sim::eSensorProfile sensorProfile = sim::eSensorProfile::Ideal;
    // Taken so that one command line serves every simulating program; vrhost streams
    // no rigid body, and its truth is always each body's true frame.
    sim::sSensorErrorOverrides sensorErrors;
    sImuCalibrationOptions imuCalibration;
    sWmrHeadsetOptions wmr;
    // Samples a stream holds for its reader; beyond it the oldest are dropped.
    size_t imuQueueLimit = 4096;
    // Poses of a device in its first seconds after its first valid pose are not
    // compared with the truth: the filter is still settling.
    double settleSeconds = 1.0;
    // At each frame (a display refresh) the truth comparison also looks at what the
    // wearer sees: the newest poses carried forward this long past the refresh.
    double displayPredictionSeconds = 0.0;
    // Sets "predictDirectPoses" true in the driver's section, over the settings file.
    bool predictDirectPoses = false;
};

}  // namespace vrhost
