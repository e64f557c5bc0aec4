// Rotation vectors: the logarithm and exponential of SO(3) and the inverse right
// Jacobian, which turns a body rate into the rate of the rotation vector.
#pragma once

#include <Eigen/Core>

namespace halvex::calibration {

constexpr double kRadToDeg = 57.29577951308232;

Eigen::Vector3d LogOfRotation(const Eigen::Matrix3d& rotation);
Eigen::Matrix3d ExpOfRotationVector(const Eigen::Vector3d& v);
// d(phi)/dt = InverseRightJacobian(phi) * omega, for R = R0 * Exp(phi) and body rate omega.
Eigen::Matrix3d InverseRightJacobian(const Eigen::Vector3d& phi);

}  // namespace halvex::calibration
