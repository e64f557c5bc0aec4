// Drives a fusion filter from a head's raw data file the way the head device did:
// the same optical transforms and variances, the factory scales on every IMU
// sample (Lighthouse), and the device's filter resets, judged on the recorded
// driver times. Every optical row yields an opt_pre and an opt_post filter row,
// and for a WMR head every IMU row an imu_pre and an imu_post row, as in the
// device's own filter file.
#pragma once

#include "recording_files.h"

#include "fusion/fusion_filter_params.h"
#include "recording/device_calibration.h"

#include <Eigen/Core>

#include <string>
#include <vector>

namespace halvex::replay {

// The device class whose rules a replay follows. A Lighthouse recording states its
// factory scales in the header; a WMR recording does not.
enum class eReplayDevice { Lighthouse, Wmr };

struct sReplayOptions {
    eReplayDevice device = eReplayDevice::Lighthouse;
    sFusionFilterParams params{0.1, 0.01, 1e-8, 1e-8};  // the Lighthouse head's
    double positionVariance = 1e-6;
    double orientationVariance = 0.010000000000000002;
    double opticalLatencyCorrection = 0.0;  // seconds added to every optical event time
    // What the device seeds the bias states with on every reset: its factory biases.
    Eigen::Vector3d accelBiasSeed = Eigen::Vector3d::Zero();
    Eigen::Vector3d gyroBiasSeed = Eigen::Vector3d::Zero();
    // Period of the device's IMU polls that read nothing: the 0.5 ms sleep plus
    // the wake-up. Where two rows lie further apart, such a poll judged staleness.
    // A WMR head judges it only after a report, one in four IMU rows.
    double pollPeriod = 0.00058;
    // The device's own filter rows, when known. An IMU sample read just before an
    // optical sample may reach the filter after it (the threads race for the filter
    // lock); where these rows show that order, the replay follows it.
    const std::vector<sFilterRow>* deviceRows = nullptr;
    // The calibration the device applied (the file beside the recording), applied as it did.
    sDeviceCalibration calibration;
};

struct sReplayReset {
    double driverTime = 0.0;
    long line = 0;  // raw data line that triggered it
    std::string reason;
};

struct sReplayResult {
    std::vector<sFilterRow> filterRows;  // `line` is the raw data line of the row fed
    std::vector<sReplayReset> resets;
    size_t reordered = 0;  // optical samples the device's rows showed ahead of recorded IMU samples
};

// The options the given device runs its head filter with.
sReplayOptions DeviceOptions(eReplayDevice device);

sReplayResult ReplayRecording(const sRawDataFile& recording, const sReplayOptions& options);

// True when the record shows a filter that has not taken an optical fix since
// its last reset (position still practically unconstrained).
bool IsFreshFilter(const sFilterRecord& record);

}  // namespace halvex::replay
