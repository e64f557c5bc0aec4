#include "calibration.h"

#include "recording_track.h"
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

constexpr double kRadToDeg = 57.29577951308232;
// Windows overlap by half: neighbouring equations share noise, which the plain
// least-squares covariance would count twice as often as it is independent.
constexpr double kOverlapVarianceFactor = 2.0;
constexpr int kErrorDraws = 400;

struct sSolution {
    Eigen::VectorXd x;
    double ssr = 0.0;
    Eigen::MatrixXd covariance;
    bool ok = false;
};

sSolution Solve(const sLinearSystem& system) {
    sSolution s;
    const Eigen::Index n = system.design.rows();
    const Eigen::Index p = system.design.cols();
    if (n <= p + 10) return s;
    const Eigen::MatrixXd normal = system.design.transpose() * system.design;
    const Eigen::LDLT<Eigen::MatrixXd> ldlt(normal);
    if (ldlt.info() != Eigen::Success) return s;
    s.x = ldlt.solve(system.design.transpose() * system.observed);
    s.ssr = (system.design * s.x - system.observed).squaredNorm();
    const double variance = s.ssr / static_cast<double>(n - p);
    s.covariance = kOverlapVarianceFactor * variance * ldlt.solve(Eigen::MatrixXd::Identity(p, p));
    s.ok = s.x.allFinite() && s.covariance.allFinite();
    return s;
}

double Rms(const sLinearSystem& system, const Eigen::VectorXd& x) {
    if (system.design.rows() == 0) return 0.0;
    return std::sqrt((system.design * x - system.observed).squaredNorm() / static_cast<double>(system.design.rows()));
}

Eigen::Matrix3d MatrixOf(const Eigen::VectorXd& x) {
    Eigen::Matrix3d m;
    for (int r = 0; r < 3; ++r)
        for (int c = 0; c < 3; ++c) m(r, c) = x[3 * r + c];
    return m;
}

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
    const Eigen::Matrix3d gyroInOptical = MatrixOf(gyro);
    const Eigen::Matrix3d accelInOptical = MatrixOf(accel);
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

std::string Format(const char* format, double a, double b = 0.0) {
    char text[256];
    std::snprintf(text, sizeof text, format, a, b);
    return text;
}

// The 99th percentile of |x|.
double Percentile99(std::vector<double> values) {
    if (values.empty()) return 0.0;
    const size_t rank = static_cast<size_t>(0.99 * static_cast<double>(values.size() - 1));
    std::nth_element(values.begin(), values.begin() + static_cast<std::ptrdiff_t>(rank), values.end());
    return values[rank];
}

// Refuses motion that leaves an axis unexcited; empty when the motion will do.
std::string ExcitationRefusal(const cRecordingTrack& track, const sCalibrationOptions& options) {
    static const char* const kAxisNames[] = {"pitch", "yaw", "roll"};
    std::vector<double> rates[3];
    std::vector<double> forward, sideways;
    Eigen::Vector3d sum = Eigen::Vector3d::Zero();
    int count = 0;
    for (size_t i = 0; i < track.ImuCount(); ++i) {
        for (int a = 0; a < 3; ++a) rates[a].push_back(std::fabs(track.Imu(i).gyro[a]));
        sum += track.Imu(i).accel;
        // Gravity's direction in 0.1 s means: acceleration mostly averages out.
        if (++count == 100) {
            const Eigen::Vector3d up = sum.normalized();
            forward.push_back(std::asin(std::clamp(up.z(), -1.0, 1.0)) * kRadToDeg);
            sideways.push_back(std::asin(std::clamp(up.x(), -1.0, 1.0)) * kRadToDeg);
            sum.setZero();
            count = 0;
        }
    }
    for (int a = 0; a < 3; ++a) {
        const double peak = Percentile99(rates[a]) * kRadToDeg;
        if (peak < options.minPeakRateDegPerSecond)
            return "turn the head (or hand) about all three axes: " + std::string(kAxisNames[a]) +
                   Format(" reached only %.0f \xC2\xB0/s (%.0f \xC2\xB0/s needed)", peak,
                          options.minPeakRateDegPerSecond);
    }
    const auto range = [](std::vector<double> v) {
        if (v.size() < 10) return 0.0;
        std::sort(v.begin(), v.end());
        return v[v.size() * 99 / 100] - v[v.size() / 100];
    };
    const double nods = range(forward);
    if (nods < options.minTiltRangeDeg)
        return Format("nod: tilt the head forward and back; it tilted through only %.0f \xC2\xB0 (%.0f \xC2\xB0 needed)",
                      nods, options.minTiltRangeDeg);
    const double tilts = range(sideways);
    if (tilts < options.minTiltRangeDeg)
        return Format("tilt the head to each shoulder; it tilted through only %.0f \xC2\xB0 (%.0f \xC2\xB0 needed)",
                      tilts, options.minTiltRangeDeg);
    return {};
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
    if (track.OpticalCount() < 8 || track.ImuCount() < 8) {
        result.refusal = "the recording holds too few samples: record about a minute of motion with the rigid body tracked";
        return result;
    }
    const double start = std::max(track.OpticalTime(0), track.Imu(0).time);
    const double end = std::min(track.OpticalTime(track.OpticalCount() - 1), track.Imu(track.ImuCount() - 1).time);
    result.seconds = std::max(0.0, end - start);
    if (result.seconds < 20.0) {
        result.refusal = Format("record at least 20 s of motion with the rigid body tracked: this recording has %.0f s",
                                result.seconds);
        return result;
    }
    result.refusal = ExcitationRefusal(track, options);
    if (!result.refusal.empty()) return result;
    result.noise = EstimateNoise(track);

    const double coarse = CoarseTimeOffset(track, options.maxTimeOffset);
    if (!std::isfinite(coarse)) {
        result.refusal = "the optical and IMU motion do not match: is this the rigid body of this device, and was it tracked?";
        return result;
    }
    const double mid = 0.5 * (start + end);
    const auto gyroSsr = [&](double offset) {
        const sWindowEquations eq = BuildWindowEquations(track, offset, options.halfWindow, mid, false);
        const sSolution s = Solve(eq.gyro);
        return s.ok ? s.ssr : std::numeric_limits<double>::infinity();
    };
    // Refined on a grid, then a parabola through the best point and its neighbours.
    const double step = 0.0005;
    std::vector<double> grid, ssr;
    for (int i = -4; i <= 4; ++i) {
        grid.push_back(coarse + i * step);
        ssr.push_back(gyroSsr(grid.back()));
    }
    size_t best = static_cast<size_t>(std::min_element(ssr.begin(), ssr.end()) - ssr.begin());
    best = std::clamp<size_t>(best, 1, grid.size() - 2);
    const double s0 = ssr[best - 1], s1 = ssr[best], s2 = ssr[best + 1];
    const double curvature = (s0 - 2.0 * s1 + s2) / (step * step);  // second derivative of the SSR
    double offset = grid[best];
    if (std::isfinite(curvature) && curvature > 0.0)
        offset = grid[best] + std::clamp(-0.5 * step * (s2 - s0) / (s0 - 2.0 * s1 + s2), -step, step);

    const sWindowEquations eq = BuildWindowEquations(track, offset, options.halfWindow, mid, true);
    result.windows = eq.windows;
    const sSolution gyro = Solve(eq.gyro);
    const sSolution accel = Solve(eq.accel);
    if (!gyro.ok || !accel.ok || !ValuesOf(gyro.x, accel.x, recording.imuInDevice, offset, result.value)) {
        result.refusal = "the motion did not determine the calibration: turn, nod and tilt the head and take a few steps";
        return result;
    }
    result.standardError = Spread(gyro, accel, recording.imuInDevice);
    const double gyroVariance = gyro.ssr / static_cast<double>(eq.gyro.design.rows() - kGyroUnknowns);
    result.standardError.opticalTimeOffsetMs =
        curvature > 0.0 ? 1000.0 * std::sqrt(kOverlapVarianceFactor * 2.0 * gyroVariance / curvature) : INFINITY;

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
        result.refusal = Format("turn, nod and tilt the head further and faster: the rotation is known only to %.2f \xC2\xB0",
                                se.rotationDeg.maxCoeff());
        return result;
    }
    if (se.translationMm.maxCoeff() > 3.0) {
        result.refusal = Format("turn the head quicker, back and forth about all three axes: the rigid body's position is "
                                "known only to %.1f mm",
                                se.translationMm.maxCoeff());
        return result;
    }
    if (!(se.opticalTimeOffsetMs <= 1.0)) {
        result.refusal = Format("turn the head faster and change direction often: the time offset is known only to %.1f ms",
                                se.opticalTimeOffsetMs);
        return result;
    }
    result.ok = true;
    return result;
}

}  // namespace halvex::calibration
