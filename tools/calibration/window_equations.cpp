#include "window_equations.h"

#include "rotation_log.h"
#include "window_kernel.h"

#include <algorithm>
#include <cmath>
#include <vector>

namespace halvex::calibration {
namespace {

// Gauss-Legendre nodes: exact for the cubic a piecewise-linear kernel times
// linearly interpolated readings makes.
const double kGaussNode = 0.5 / std::sqrt(3.0);

struct sWindowSamples {
    size_t firstOptical = 0;
    size_t lastOptical = 0;  // inclusive
};

bool FindWindow(const cRecordingTrack& track, double centre, double offset, double halfWidth, sWindowSamples& w) {
    const double rate = track.OpticalRate();
    w.firstOptical = track.OpticalIndexAtOrAfter(centre - halfWidth - offset);
    if (w.firstOptical >= track.OpticalCount()) return false;
    size_t last = w.firstOptical;
    while (last + 1 < track.OpticalCount() && track.OpticalTime(last + 1) + offset <= centre + halfWidth) ++last;
    w.lastOptical = last;
    const size_t count = last - w.firstOptical + 1;
    if (static_cast<double>(count) < 1.4 * halfWidth * rate || count < 8) return false;
    if (track.OpticalTime(w.firstOptical) + offset > centre - 0.7 * halfWidth) return false;
    if (track.OpticalTime(last) + offset < centre + 0.7 * halfWidth) return false;
    for (size_t k = w.firstOptical + 1; k <= last; ++k)
        if (track.OpticalTime(k) - track.OpticalTime(k - 1) > 3.5 / rate) return false;
    // The IMU must cover the window without gaps.
    const size_t i0 = track.ImuIndexAtOrAfter(track.OpticalTime(w.firstOptical) + offset);
    if (i0 == 0 || i0 >= track.ImuCount()) return false;
    for (size_t i = i0; i < track.ImuCount() && track.Imu(i - 1).time <= track.OpticalTime(last) + offset; ++i)
        if (track.Imu(i).time - track.Imu(i - 1).time > 0.010) return false;
    return track.Imu(track.ImuCount() - 1).time >= track.OpticalTime(last) + offset;
}

}  // namespace

sWindowEquations BuildWindowEquations(const cRecordingTrack& track, double offset, double halfWidth, double midTime,
                                      bool withAccel) {
    sWindowEquations eq;
    if (track.OpticalCount() < 8 || track.ImuCount() < 8) return eq;
    const double start = std::max(track.OpticalTime(0) + offset, track.Imu(0).time) + halfWidth;
    const double end = std::min(track.OpticalTime(track.OpticalCount() - 1) + offset,
                                track.Imu(track.ImuCount() - 1).time) - halfWidth;
    std::vector<Eigen::Matrix<double, 3, kGyroUnknowns>> gyroRows;
    std::vector<Eigen::Vector3d> gyroObserved;
    std::vector<Eigen::Matrix<double, 3, kAccelUnknowns>> accelRows;
    std::vector<Eigen::Vector3d> accelObserved;
    const Eigen::Vector3d gravityUp(0.0, kGravity, 0.0);

    for (double centre = start; centre <= end; centre += halfWidth) {
        sWindowSamples w;
        if (!FindWindow(track, centre, offset, halfWidth, w)) continue;
        std::vector<double> offsets;
        for (size_t k = w.firstOptical; k <= w.lastOptical; ++k) offsets.push_back(track.OpticalTime(k) + offset - centre);
        const cWindowKernel first(offsets, eDerivative::First);
        const cWindowKernel second(offsets, eDerivative::Second);
        const size_t reference = w.firstOptical + offsets.size() / 2;
        const Eigen::Matrix3d referenceRotation = track.OpticalRotation(reference);

        Eigen::Vector3d gyroY = Eigen::Vector3d::Zero();
        Eigen::Vector3d accelY = gravityUp;
        Eigen::Matrix3d rotationSum = Eigen::Matrix3d::Zero();
        for (size_t j = 0; j < offsets.size(); ++j) {
            const size_t k = w.firstOptical + j;
            gyroY += first.Weights()[j] * LogOfRotation(referenceRotation.transpose() * track.OpticalRotation(k));
            accelY += second.Weights()[j] * track.OpticalPosition(k);
            rotationSum += second.Weights()[j] * track.OpticalRotation(k);
        }

        // Break points: every IMU sample and every optical sample inside the window.
        const double from = centre + offsets.front();
        const double to = centre + offsets.back();
        std::vector<double> breaks;
        for (double s : offsets) breaks.push_back(centre + s);
        for (size_t i = track.ImuIndexAtOrAfter(from); i < track.ImuCount() && track.Imu(i).time < to; ++i)
            breaks.push_back(track.Imu(i).time);
        std::sort(breaks.begin(), breaks.end());

        Eigen::Matrix<double, 3, kGyroUnknowns> gyroRow = Eigen::Matrix<double, 3, kGyroUnknowns>::Zero();
        Eigen::Matrix<double, 3, kAccelUnknowns> accelRow = Eigen::Matrix<double, 3, kAccelUnknowns>::Zero();
        bool complete = true;
        for (size_t b = 1; b < breaks.size() && complete; ++b) {
            const double a0 = breaks[b - 1];
            const double a1 = breaks[b];
            if (a1 <= a0) continue;
            const double mid = 0.5 * (a0 + a1);
            const double half = 0.5 * (a1 - a0);
            for (double node : {mid - 2.0 * kGaussNode * half, mid + 2.0 * kGaussNode * half}) {
                Eigen::Vector3d accel, gyro, position;
                Eigen::Matrix3d rotation;
                if (!track.ImuAt(node, accel, gyro) || !track.OpticalAt(node, offset, rotation, position)) {
                    complete = false;
                    break;
                }
                const double weight = half;  // two nodes, each of weight half the interval
                const double drift = node - midTime;
                const double k1 = weight * first.Kernel(node - centre);
                const Eigen::Matrix3d jacobian =
                    InverseRightJacobian(LogOfRotation(referenceRotation.transpose() * rotation));
                for (int r = 0; r < 3; ++r) {
                    for (int c = 0; c < 3; ++c) {
                        for (int d = 0; d < 3; ++d) gyroRow(r, 3 * c + d) += k1 * jacobian(r, c) * gyro[d];
                        gyroRow(r, 9 + c) -= k1 * jacobian(r, c);
                        gyroRow(r, 12 + c) -= k1 * jacobian(r, c) * drift;
                    }
                }
                if (!withAccel) continue;
                const double k2 = weight * second.Kernel(node - centre);
                for (int r = 0; r < 3; ++r) {
                    for (int c = 0; c < 3; ++c) {
                        for (int d = 0; d < 3; ++d) accelRow(r, 3 * c + d) += k2 * rotation(r, c) * accel[d];
                        accelRow(r, 9 + c) -= k2 * rotation(r, c);
                        accelRow(r, 12 + c) -= k2 * rotation(r, c) * drift;
                    }
                }
            }
        }
        if (!complete) continue;
        gyroRows.push_back(gyroRow);
        gyroObserved.push_back(gyroY);
        if (withAccel) {
            for (int r = 0; r < 3; ++r)
                for (int c = 0; c < 3; ++c) accelRow(r, 15 + c) = -rotationSum(r, c);
            accelRows.push_back(accelRow);
            accelObserved.push_back(accelY);
        }
        ++eq.windows;
    }

    const auto assemble = [](const auto& rows, const std::vector<Eigen::Vector3d>& observed, int unknowns,
                             sLinearSystem& system) {
        system.design.resize(static_cast<Eigen::Index>(3 * rows.size()), unknowns);
        system.observed.resize(static_cast<Eigen::Index>(3 * rows.size()));
        for (size_t j = 0; j < rows.size(); ++j) {
            system.design.block(static_cast<Eigen::Index>(3 * j), 0, 3, unknowns) = rows[j];
            system.observed.segment<3>(static_cast<Eigen::Index>(3 * j)) = observed[j];
        }
    };
    assemble(gyroRows, gyroObserved, kGyroUnknowns, eq.gyro);
    if (withAccel) assemble(accelRows, accelObserved, kAccelUnknowns, eq.accel);
    return eq;
}

}  // namespace halvex::calibration
