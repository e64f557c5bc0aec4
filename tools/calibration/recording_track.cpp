#include "recording_track.h"

#include "rotation_log.h"

#include <Eigen/Geometry>

#include <algorithm>
#include <cmath>

namespace halvex::calibration {
namespace {

// The driver turns the rigid body by a half turn about y before anything else.
const Eigen::Quaterniond kAlignment(0.0, 0.0, 1.0, 0.0);

}  // namespace

cRecordingTrack::cRecordingTrack(const sCalibrationRecording& recording) : mImu(recording.imu) {
    for (const sOpticalSample& s : recording.optical) {
        if (!mOpticalTimes.empty() && s.time <= mOpticalTimes.back()) continue;
        mOpticalTimes.push_back(s.time);
        mRotations.push_back((s.orientation.normalized() * kAlignment).toRotationMatrix());
        mPositions.push_back(s.position);
    }
    if (mOpticalTimes.size() > 2) {
        std::vector<double> spacing;
        for (size_t k = 1; k < mOpticalTimes.size(); ++k) spacing.push_back(mOpticalTimes[k] - mOpticalTimes[k - 1]);
        std::nth_element(spacing.begin(), spacing.begin() + spacing.size() / 2, spacing.end());
        if (spacing[spacing.size() / 2] > 0.0) mOpticalRate = 1.0 / spacing[spacing.size() / 2];
    }
}

size_t cRecordingTrack::ImuIndexAtOrAfter(double t) const {
    return static_cast<size_t>(std::lower_bound(mImu.begin(), mImu.end(), t,
                                                [](const sImuSample& s, double time) { return s.time < time; }) -
                               mImu.begin());
}

size_t cRecordingTrack::OpticalIndexAtOrAfter(double t) const {
    return static_cast<size_t>(std::lower_bound(mOpticalTimes.begin(), mOpticalTimes.end(), t) -
                               mOpticalTimes.begin());
}

bool cRecordingTrack::OpticalAt(double t, double offset, Eigen::Matrix3d& rotation, Eigen::Vector3d& position) const {
    const double local = t - offset;
    const size_t next = OpticalIndexAtOrAfter(local);
    if (next >= mOpticalTimes.size()) return false;
    if (mOpticalTimes[next] == local) {
        rotation = mRotations[next];
        position = mPositions[next];
        return true;
    }
    if (next == 0) return false;
    const size_t previous = next - 1;
    const double span = mOpticalTimes[next] - mOpticalTimes[previous];
    if (span > 3.5 / mOpticalRate) return false;
    const double a = (local - mOpticalTimes[previous]) / span;
    rotation = mRotations[previous] *
               ExpOfRotationVector(a * LogOfRotation(mRotations[previous].transpose() * mRotations[next]));
    position = (1.0 - a) * mPositions[previous] + a * mPositions[next];
    return true;
}

bool cRecordingTrack::ImuAt(double t, Eigen::Vector3d& accel, Eigen::Vector3d& gyro) const {
    const size_t next = ImuIndexAtOrAfter(t);
    if (next >= mImu.size()) return false;
    if (mImu[next].time == t) {
        accel = mImu[next].accel;
        gyro = mImu[next].gyro;
        return true;
    }
    if (next == 0) return false;
    const sImuSample& p = mImu[next - 1];
    const sImuSample& n = mImu[next];
    if (n.time - p.time > 0.010) return false;
    const double a = (t - p.time) / (n.time - p.time);
    accel = (1.0 - a) * p.accel + a * n.accel;
    gyro = (1.0 - a) * p.gyro + a * n.gyro;
    return true;
}

}  // namespace halvex::calibration
