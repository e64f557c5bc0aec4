#include "orientation_calibration.h"

#include "excitation_check.h"
#include "least_squares.h"
#include "refusal_text.h"
#include "rotation_log.h"
#include "time_offset_search.h"
#include "window_equations.h"

#include <Eigen/Dense>

#include <algorithm>
#include <random>

namespace halvex::calibration {
namespace {

// The rotation nearest to `m`: its polar factor m (m^T m)^(-1/2), which is U V^T of
// its SVD m = U S V^T. False for a map that is singular or mirrors space, which no
// rigid mounting gives.
bool NearestRotation(const Eigen::Matrix3d& m, Eigen::Matrix3d& rotation) {
    if (!(m.determinant() > 0.0)) return false;
    const Eigen::SelfAdjointEigenSolver<Eigen::Matrix3d> eigen(m.transpose() * m);
    if (eigen.info() != Eigen::Success || !(eigen.eigenvalues().minCoeff() > 0.0)) return false;
    const Eigen::Matrix3d& v = eigen.eigenvectors();
    rotation = m * v * eigen.eigenvalues().cwiseSqrt().cwiseInverse().asDiagonal() * v.transpose();
    return rotation.allFinite();
}

// The rigid body's rotation in the device frame from a gyroscope solution, whose P_g
// maps the headset's rates onto the aligned optical body's.
bool RotationOf(const Eigen::VectorXd& gyro, const Eigen::Isometry3d& imuInDevice, Eigen::Matrix3d& rigidBodyInDevice) {
    Eigen::Matrix3d imuInOptical;
    if (!NearestRotation(SensorMatrixOf(gyro), imuInOptical)) return false;
    rigidBodyInDevice = imuInDevice.rotation() * imuInOptical.transpose();
    return true;
}

// Degrees per axis about `estimate`, over draws of the solution.
Eigen::Vector3d RotationSpread(const sSolution& gyro, const Eigen::Isometry3d& imuInDevice,
                               const Eigen::Matrix3d& estimate) {
    std::mt19937_64 random(12345);
    std::normal_distribution<double> normal;
    const Eigen::MatrixXd root = Eigen::LLT<Eigen::MatrixXd>(gyro.covariance).matrixL();
    Eigen::Vector3d sum = Eigen::Vector3d::Zero();
    int draws = 0;
    for (int d = 0; d < kErrorDraws; ++d) {
        Eigen::VectorXd z(gyro.x.size());
        for (Eigen::Index i = 0; i < z.size(); ++i) z[i] = normal(random);
        Eigen::Matrix3d drawn;
        if (!RotationOf(gyro.x + root * z, imuInDevice, drawn)) continue;
        const Eigen::Vector3d delta = LogOfRotation(estimate.transpose() * drawn) * kRadToDeg;
        sum += delta.cwiseProduct(delta);
        ++draws;
    }
    return (sum / std::max(draws, 1)).cwiseSqrt();
}

}  // namespace

void EstimateOrientationOnly(const cRecordingTrack& track, const sCalibrationRecording& recording,
                             const sCalibrationOptions& options, double midTime, sCalibrationResult& result) {
    result.orientationOnly = true;
    // Nothing but the rates: no tilt to judge without an accelerometer.
    result.refusal = RateExcitationRefusal(track, options.minPeakRateDegPerSecond);
    if (!result.refusal.empty()) return;
    const sTimeOffset timeOffset = EstimateTimeOffset(track, options.maxTimeOffset, options.halfWindow, midTime);
    if (!timeOffset.ok) {
        result.refusal = kMotionDoesNotMatch;
        return;
    }
    const sWindowEquations eq = BuildWindowEquations(track, timeOffset.seconds, options.halfWindow, midTime, false);
    result.windows = eq.windows;
    const sSolution gyro = Solve(eq.gyro);
    Eigen::Matrix3d rotation;
    if (!gyro.ok || !RotationOf(gyro.x, recording.imuInDevice, rotation)) {
        result.refusal = "the motion did not determine the rotation: turn the head about all three axes, quickly and far";
        return;
    }
    result.value.rotationDeg = LogOfRotation(rotation) * kRadToDeg;
    result.value.opticalTimeOffsetMs = timeOffset.seconds * 1000.0;
    // What is not estimated has no error to state.
    sCalibrationValues& se = result.standardError;
    se.gyroCorrection.setZero();
    se.accelCorrection.setZero();
    se.rotationDeg = RotationSpread(gyro, recording.imuInDevice, rotation);
    se.opticalTimeOffsetMs = TimeOffsetStandardErrorMs(timeOffset, gyro, eq.gyro);

    result.gyroResidualAfter = Rms(eq.gyro, gyro.x);
    {
        const sWindowEquations before = BuildWindowEquations(track, 0.0, options.halfWindow, midTime, false);
        Eigen::VectorXd g = Eigen::VectorXd::Zero(kGyroUnknowns);
        const Eigen::Matrix3d r = recording.imuInDevice.rotation();
        for (int i = 0; i < 9; ++i) g[i] = r(i / 3, i % 3);
        result.gyroResidualBefore = Rms(before.gyro, g);
    }

    if (se.rotationDeg.maxCoeff() > 0.3) {
        result.refusal = FormatMessage(
            "turn the head further and faster about all three axes: the rotation is known only to %.2f \xC2\xB0",
            se.rotationDeg.maxCoeff());
        return;
    }
    if (!(se.opticalTimeOffsetMs <= 1.0)) {
        result.refusal = FormatMessage(kTimeOffsetUnknown, se.opticalTimeOffsetMs);
        return;
    }
    result.ok = true;
}

}  // namespace halvex::calibration
