// The linear equations of a calibration, three per window and sensor, built with
// the window kernels (window_kernel.h):
//   gyroscope:      sum h1 phi_k = integral K1 Jr^-1(phi) P_g (w_m - b0 - b1 (t - mid))
//   accelerometer:  sum h2 p_k + g_up + (sum h2 R_k) tau = integral K2 R (P_a f_m - c0 - c1 (t - mid))
// with phi the optical rotation vectors about a reference in the window, R and p the
// aligned optical pose, tau the IMU's position in the optical frame, P_g and P_a
// the IMU's rotation in the optical frame times each sensor's correction, and
// biases allowed to drift linearly over the recording.
#pragma once

#include "recording_track.h"

#include <Eigen/Core>

namespace halvex::calibration {

// Unknowns: gyroscope vec(P_g) row-major (0..8), b0 (9..11), b1 (12..14);
// accelerometer vec(P_a) (0..8), c0 (9..11), c1 (12..14), tau (15..17).
constexpr int kGyroUnknowns = 15;
constexpr int kAccelUnknowns = 18;

// P_g or P_a of a solution: its first nine unknowns.
inline Eigen::Matrix3d SensorMatrixOf(const Eigen::VectorXd& x) {
    Eigen::Matrix3d m;
    for (int r = 0; r < 3; ++r)
        for (int c = 0; c < 3; ++c) m(r, c) = x[3 * r + c];
    return m;
}

struct sLinearSystem {
    Eigen::MatrixXd design;
    Eigen::VectorXd observed;
};

struct sWindowEquations {
    sLinearSystem gyro;
    sLinearSystem accel;
    int windows = 0;
};

// Optical times shifted by `offset`; windows of +-halfWidth every halfWidth.
sWindowEquations BuildWindowEquations(const cRecordingTrack& track, double offset, double halfWidth, double midTime,
                                      bool withAccel);

constexpr double kGravity = 9.81;  // m/s^2, along +y of the mocap frame (y up)

}  // namespace halvex::calibration
