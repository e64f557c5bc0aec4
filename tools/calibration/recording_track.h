// The two sample streams of a recording as functions of time: the optical pose,
// aligned into the device's convention, interpolated (slerp) between frames shifted
// by a time offset; the IMU readings interpolated linearly.
#pragma once

#include "calibration_recording.h"

#include <Eigen/Core>

#include <vector>

namespace halvex::calibration {

class cRecordingTrack {
public:
    explicit cRecordingTrack(const sCalibrationRecording& recording);

    size_t OpticalCount() const { return mOpticalTimes.size(); }
    double OpticalTime(size_t k) const { return mOpticalTimes[k]; }
    const Eigen::Matrix3d& OpticalRotation(size_t k) const { return mRotations[k]; }
    const Eigen::Vector3d& OpticalPosition(size_t k) const { return mPositions[k]; }
    // Frames per second, from the median spacing.
    double OpticalRate() const { return mOpticalRate; }

    // The optical pose at IMU time t when every optical time is shifted by `offset`;
    // false across a gap of more than three frames or outside the recording.
    bool OpticalAt(double t, double offset, Eigen::Matrix3d& rotation, Eigen::Vector3d& position) const;

    size_t ImuCount() const { return mImu.size(); }
    const sImuSample& Imu(size_t i) const { return mImu[i]; }
    // Linear between samples; false outside or across a gap of more than 10 ms.
    bool ImuAt(double t, Eigen::Vector3d& accel, Eigen::Vector3d& gyro) const;
    // First sample at or after t.
    size_t ImuIndexAtOrAfter(double t) const;
    size_t OpticalIndexAtOrAfter(double t) const;

private:
    std::vector<double> mOpticalTimes;
    std::vector<Eigen::Matrix3d> mRotations;
    std::vector<Eigen::Vector3d> mPositions;
    std::vector<sImuSample> mImu;
    double mOpticalRate = 120.0;
};

}  // namespace halvex::calibration
