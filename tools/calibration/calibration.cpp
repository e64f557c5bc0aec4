#include "calibration.h"

#include "excitation_check.h"
#include "least_squares.h"
#include "orientation_calibration.h"
#include "recording_track.h"
#include "refusal_text.h"
#include "rotation_log.h"
#include "time_offset_search.h"
#include "window_equations.h"

#include <Eigen/Dense>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <limits>
#include <random>
#include <vector>

namespace halvex::calibration {
namespace {

// P = Q * U with Q a rotation and U upper triangular with a positive diagonal.
bool SplitRotation(const Eigen::Matrix3d& p, Eigen::Matrix3d& rotation, Eigen::Matrix3d& upper) {
    const Eigen::HouseholderQR<Eigen::Matrix3d> qr(p);
    rotation = qr.householderQ();
    upper = rotation.transpose() * p;
    for (int i = 0; i < 3; ++i) {
        if (upper(i, i) < 0.0) {
            rotation.col(i) *= -1.0;
            upper.row(i) *= -1.0;
        }
    }
    for (int r = 1; r < 3; ++r)
        for (int c = 0; c < r; ++c) upper(r, c) = 0.0;
    return rotation.determinant() > 0.0;
}

bool ValuesOf(const Eigen::VectorXd& gyro, const Eigen::VectorXd& accel, const Eigen::Isometry3d& imuInDevice,
              double offsetSeconds, sCalibrationValues& v) {
    const Eigen::Matrix3d gyroInOptical = SensorMatrixOf(gyro);
    const Eigen::Matrix3d accelInOptical = SensorMatrixOf(accel);
    Eigen::Matrix3d imuInOptical;
    if (!SplitRotation(accelInOptical, imuInOptical, v.accelCorrection)) return false;
    v.gyroCorrection = imuInOptical.transpose() * gyroInOptical;
    v.gyroBias = gyroInOptical.inverse() * gyro.segment<3>(9);
    v.accelBias = accelInOptical.inverse() * accel.segment<3>(9);
    Eigen::Isometry3d imuPose = Eigen::Isometry3d::Identity();
    imuPose.linear() = imuInOptical;
    imuPose.translation() = accel.segment<3>(15);
    const Eigen::Isometry3d rigidBodyInDevice = imuInDevice * imuPose.inverse();
    v.rotationDeg = LogOfRotation(rigidBodyInDevice.rotation()) * kRadToDeg;
    v.translationMm = rigidBodyInDevice.translation() * 1000.0;
    v.opticalTimeOffsetMs = offsetSeconds * 1000.0;
    return true;
}

// Standard deviation of every field over draws of the two solutions.
sCalibrationValues Spread(const sSolution& gyro, const sSolution& accel, const Eigen::Isometry3d& imuInDevice) {
    std::mt19937_64 random(12345);
    std::normal_distribution<double> normal;
    const Eigen::MatrixXd gyroRoot = Eigen::LLT<Eigen::MatrixXd>(gyro.covariance).matrixL();
    const Eigen::MatrixXd accelRoot = Eigen::LLT<Eigen::MatrixXd>(accel.covariance).matrixL();
    sCalibrationValues mean;
    ValuesOf(gyro.x, accel.x, imuInDevice, 0.0, mean);
    Eigen::Matrix<double, 36, 1> sum = Eigen::Matrix<double, 36, 1>::Zero();
    const auto flatten = [](const sCalibrationValues& v) {
        Eigen::Matrix<double, 36, 1> f;
        f << v.rotationDeg, v.translationMm, Eigen::Map<const Eigen::Matrix<double, 9, 1>>(v.gyroCorrection.data()),
            Eigen::Map<const Eigen::Matrix<double, 9, 1>>(v.accelCorrection.data()), v.gyroBias, v.accelBias;
        return f;
    };
    const Eigen::Matrix<double, 36, 1> centre = flatten(mean);
    int draws = 0;
    for (int d = 0; d < kErrorDraws; ++d) {
        Eigen::VectorXd zg(gyro.x.size()), za(accel.x.size());
        for (Eigen::Index i = 0; i < zg.size(); ++i) zg[i] = normal(random);
        for (Eigen::Index i = 0; i < za.size(); ++i) za[i] = normal(random);
        sCalibrationValues v;
        if (!ValuesOf(gyro.x + gyroRoot * zg, accel.x + accelRoot * za, imuInDevice, 0.0, v)) continue;
        Eigen::Matrix<double, 36, 1> delta = flatten(v) - centre;
        // Rotation vectors near the same rotation: compare through the rotation itself.
        const Eigen::Matrix3d a = ExpOfRotationVector(v.rotationDeg / kRadToDeg);
        const Eigen::Matrix3d b = ExpOfRotationVector(mean.rotationDeg / kRadToDeg);
        delta.head<3>() = LogOfRotation(b.transpose() * a) * kRadToDeg;
        sum += delta.cwiseProduct(delta);
        ++draws;
    }
    const Eigen::Matrix<double, 36, 1> sd = (sum / std::max(draws, 1)).cwiseSqrt();
    sCalibrationValues se;
    se.rotationDeg = sd.segment<3>(0);
    se.translationMm = sd.segment<3>(3);
    se.gyroCorrection = Eigen::Map<const Eigen::Matrix3d>(sd.segment<9>(6).data());
    se.accelCorrection = Eigen::Map<const Eigen::Matrix3d>(sd.segment<9>(15).data());
    se.gyroBias = sd.segment<3>(24);
    se.accelBias = sd.segment<3>(27);
    return se;
}

}  // namespace

Eigen::Isometry3d RigidBodyInDevice(const sCalibrationValues& values) {
    Eigen::Isometry3d pose = Eigen::Isometry3d::Identity();
    pose.linear() = ExpOfRotationVector(values.rotationDeg / kRadToDeg);
    pose.translation() = values.translationMm / 1000.0;
    return pose;
}

sCalibrationResult Calibrate(const sCalibrationRecording& recording, const sCalibrationOptions& options) {
    sCalibrationResult result;
    const cRecordingTrack track(recording);
    if (recording.imu.empty()) {
        result.refusal = "this device recorded no IMU samples (an Oculus headset's controller has none of its own): "
                         "there is nothing to calibrate it against";
        return result;
    }
    if (track.OpticalCount() < 8 || track.ImuCount() < 8) {
        result.refusal = "the recording holds too few samples: record about a minute of motion with the rigid body tracked";
        return result;
    }
    const double start = std::max(track.OpticalTime(0), track.Imu(0).time);
    const double end = std::min(track.OpticalTime(track.OpticalCount() - 1), track.Imu(track.ImuCount() - 1).time);
    result.seconds = std::max(0.0, end - start);
    if (result.seconds < 20.0) {
        result.refusal = FormatMessage("record at least 20 s of motion with the rigid body tracked: this recording has %.0f s",
                                result.seconds);
        return result;
    }
    const double mid = 0.5 * (start + end);
    if (recording.orientationOnly) {
        EstimateOrientationOnly(track, recording, options, mid, result);
        return result;
    }
    result.refusal = RateExcitationRefusal(track, options.minPeakRateDegPerSecond);
    if (result.refusal.empty()) result.refusal = TiltExcitationRefusal(track, options.minTiltRangeDeg);
    if (!result.refusal.empty()) return result;
    result.noise = EstimateNoise(track);

    const sTimeOffset timeOffset = EstimateTimeOffset(track, options.maxTimeOffset, options.halfWindow, mid);
    if (!timeOffset.ok) {
        result.refusal = kMotionDoesNotMatch;
        return result;
    }
    const double offset = timeOffset.seconds;

    const sWindowEquations eq = BuildWindowEquations(track, offset, options.halfWindow, mid, true);
    result.windows = eq.windows;
    const sSolution gyro = Solve(eq.gyro);
    const sSolution accel = Solve(eq.accel);
    if (!gyro.ok || !accel.ok || !ValuesOf(gyro.x, accel.x, recording.imuInDevice, offset, result.value)) {
        result.refusal = "the motion did not determine the calibration: turn, nod and tilt the head and take a few steps";
        return result;
    }
    result.standardError = Spread(gyro, accel, recording.imuInDevice);
    result.standardError.opticalTimeOffsetMs = TimeOffsetStandardErrorMs(timeOffset, gyro, eq.gyro);

    result.gyroResidualAfter = Rms(eq.gyro, gyro.x);
    result.accelResidualAfter = Rms(eq.accel, accel.x);
    {
        const sWindowEquations before = BuildWindowEquations(track, 0.0, options.halfWindow, mid, true);
        Eigen::VectorXd g = Eigen::VectorXd::Zero(kGyroUnknowns), a = Eigen::VectorXd::Zero(kAccelUnknowns);
        const Eigen::Matrix3d r = recording.imuInDevice.rotation();
        for (int i = 0; i < 9; ++i) g[i] = a[i] = r(i / 3, i % 3);
        a.segment<3>(15) = recording.imuInDevice.translation();
        result.gyroResidualBefore = Rms(before.gyro, g);
        result.accelResidualBefore = Rms(before.accel, a);
    }

    const sCalibrationValues& se = result.standardError;
    if (se.rotationDeg.maxCoeff() > 0.3 || se.gyroCorrection.maxCoeff() > 3e-3 || se.accelCorrection.maxCoeff() > 3e-3) {
        result.refusal = FormatMessage("turn, nod and tilt the head further and faster: the rotation is known only to %.2f \xC2\xB0",
                                se.rotationDeg.maxCoeff());
        return result;
    }
    if (se.translationMm.maxCoeff() > 3.0) {
        result.refusal = FormatMessage("turn the head quicker, back and forth about all three axes: the rigid body's position is "
                                "known only to %.1f mm",
                                se.translationMm.maxCoeff());
        return result;
    }
    if (!(se.opticalTimeOffsetMs <= 1.0)) {
        result.refusal = FormatMessage(kTimeOffsetUnknown, se.opticalTimeOffsetMs);
        return result;
    }
    result.ok = true;
    return result;
}

}  // namespace halvex::calibration
