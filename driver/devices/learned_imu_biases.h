// The IMU biases a head's filter learned, kept from one session to the next in a
// small text file per headset, for an IMU whose device offers no factory biases.
#pragma once

#include "fusion/fusion_filter.h"
#include "recording/device_calibration.h"

#include <Eigen/Core>

#include <cstdint>
#include <string>

namespace halvex {

struct sLearnedImuBiases {
    Eigen::Vector3d gyro = Eigen::Vector3d::Zero();   // rad/s
    Eigen::Vector3d accel = Eigen::Vector3d::Zero();  // m/s^2
    // Of the IMU correction in force while they were learned: biases of corrected
    // samples hold only under the same correction.
    uint64_t correctionFingerprint = 0;
};

// Larger biases than these are a fault's, not a consumer IMU's.
constexpr double kMaxPlausibleGyroBias = 0.05;  // rad/s, per axis
constexpr double kMaxPlausibleAccelBias = 1.0;  // m/s^2, per axis
bool LearnedBiasesArePlausible(const Eigen::Vector3d& gyro, const Eigen::Vector3d& accel);

// The same for equal IMU corrections (matrices and biases), different otherwise.
uint64_t ImuCorrectionFingerprint(const sDeviceCalibration& calibration);

// "wmr_imu_biases_<serial>.txt", each character of the serial outside [A-Za-z0-9-]
// as '_' so that no serial names another folder; empty for an empty serial.
std::string LearnedBiasFileName(const std::string& serial);

std::string FormatLearnedBiases(const sLearnedImuBiases& biases);
// False with a reason for another format version, a missing, malformed,
// non-finite or implausible value; `biases` is then untouched.
bool ParseLearnedBiases(const std::string& text, sLearnedImuBiases& biases, std::string& reason);

// When a filter's bias estimates are worth keeping: it fused long enough, and
// every bias variance fell to this fraction of the one it started from.
struct sBiasLearningCriteria {
    double minFusedSeconds = 60.0;
    double maxVarianceFraction = 0.5;
};
bool FilterHasLearnedBiases(const cFusionFilter& filter, double fusedSeconds, const sBiasLearningCriteria& criteria);

}  // namespace halvex
