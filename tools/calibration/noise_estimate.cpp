#include "noise_estimate.h"

#include "rotation_log.h"

#include <Eigen/Dense>

#include <cmath>
#include <vector>

namespace halvex::calibration {

sNoiseEstimate EstimateNoise(const cRecordingTrack& track) {
    sNoiseEstimate noise;
    constexpr int kHalf = 3;
    const double rate = track.OpticalRate();
    double positionSum = 0.0, orientationSum = 0.0;
    size_t fits = 0;
    for (size_t k = kHalf; k + kHalf < track.OpticalCount(); k += 2 * kHalf + 1) {
        if (track.OpticalTime(k + kHalf) - track.OpticalTime(k - kHalf) > (2 * kHalf + 0.5) / rate) continue;
        Eigen::Matrix<double, 2 * kHalf + 1, 3> design;
        Eigen::Matrix<double, 2 * kHalf + 1, 6> values;
        for (int j = -kHalf; j <= kHalf; ++j) {
            const size_t i = k + static_cast<size_t>(j + kHalf) - kHalf;
            const double s = (track.OpticalTime(i) - track.OpticalTime(k)) * rate;
            design.row(j + kHalf) << 1.0, s, s * s;
            values.row(j + kHalf).head<3>() = track.OpticalPosition(i).transpose();
            values.row(j + kHalf).tail<3>() =
                LogOfRotation(track.OpticalRotation(k).transpose() * track.OpticalRotation(i)).transpose();
        }
        const Eigen::Matrix<double, 3, 6> fit = design.colPivHouseholderQr().solve(values);
        const Eigen::Matrix<double, 2 * kHalf + 1, 6> residual = values - design * fit;
        positionSum += residual.leftCols<3>().squaredNorm();
        orientationSum += residual.rightCols<3>().squaredNorm();
        ++fits;
    }
    if (fits > 0) {
        const double dof = static_cast<double>(fits) * 3.0 * (2 * kHalf + 1 - 3);
        noise.opticalPositionVariance = positionSum / dof;
        noise.opticalOrientationVariance = orientationSum / dof;
    }
    double gyroSum = 0.0, accelSum = 0.0;
    size_t differences = 0;
    for (size_t i = 1; i + 1 < track.ImuCount(); ++i) {
        gyroSum += (track.Imu(i + 1).gyro - 2.0 * track.Imu(i).gyro + track.Imu(i - 1).gyro).squaredNorm();
        accelSum += (track.Imu(i + 1).accel - 2.0 * track.Imu(i).accel + track.Imu(i - 1).accel).squaredNorm();
        ++differences;
    }
    // A second difference of white noise has six times its variance.
    if (differences > 0) {
        noise.gyroVariance = gyroSum / (18.0 * static_cast<double>(differences));
        noise.accelVariance = accelSum / (18.0 * static_cast<double>(differences));
    }
    return noise;
}

}  // namespace halvex::calibration
