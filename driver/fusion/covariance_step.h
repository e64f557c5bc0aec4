// The covariance half of one IMU step, P = Fx P Fx^T + Q.
//
// Fx is the identity except six 3x3 blocks (error order: position, velocity,
// orientation, accel bias, gyro bias, gravity):
//   p <- v          dt * I
//   v <- theta      velocityFromOrientation   (-R [a]x dt)
//   v <- accel bias velocityFromAccelBias     (-R dt)
//   v <- gravity    dt * I
//   theta <- theta  orientationFromOrientation (Rot(dq)^T)
//   theta <- gyro bias  -dt * I
// so only the first nine rows and columns of P change.
#pragma once

#include <Eigen/Core>

namespace halvex {

using Matrix18d = Eigen::Matrix<double, 18, 18>;
using Vector18d = Eigen::Matrix<double, 18, 1>;

struct sErrorTransition {
    double dt = 0.0;
    Eigen::Matrix3d velocityFromOrientation = Eigen::Matrix3d::Zero();
    Eigen::Matrix3d velocityFromAccelBias = Eigen::Matrix3d::Zero();
    Eigen::Matrix3d orientationFromOrientation = Eigen::Matrix3d::Identity();
};

// The full 18x18 Fx, for the textbook form and for checking.
Matrix18d DenseErrorTransition(const sErrorTransition& transition);

// Reference: P = Fx P Fx^T + Q with full matrix products.
void PropagateCovarianceDense(Matrix18d& covariance, const Matrix18d& transition,
                              const Matrix18d& processNoise);

// Same result using the block structure of Fx; Q is diagonal. P need not be symmetric.
void PropagateCovarianceStructured(Matrix18d& covariance, const sErrorTransition& transition,
                                   const Vector18d& processNoiseDiagonal);

}  // namespace halvex
