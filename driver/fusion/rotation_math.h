// Rotation helpers with the filter's exact small-angle rules.
#pragma once

#include <Eigen/Core>
#include <Eigen/Geometry>

namespace halvex {

// Below this a rotation angle is treated as having no usable axis.
constexpr double kSmallAngle = 2.220446049250313e-16;

// Skew matrix [v]x, so that [v]x * u = v x u.
Eigen::Matrix3d SkewMatrix(const Eigen::Vector3d& v);

// Quaternion of the rotation by |rotationVector| about its direction; for an
// angle not above kSmallAngle the axis is x (the angle is kept).
Eigen::Quaterniond QuaternionFromRotationVector(const Eigen::Vector3d& rotationVector);

// Rotation vector of the shorter of the two rotations q and -q describe.
Eigen::Vector3d RotationVectorFromQuaternion(const Eigen::Quaterniond& q);

// Conjugate over squared norm; all zero for a zero quaternion.
Eigen::Quaterniond QuaternionInverse(const Eigen::Quaterniond& q);

// q divided by its norm when that is positive; unchanged otherwise.
Eigen::Quaterniond NormalizedIfNonZero(const Eigen::Quaterniond& q);

}  // namespace halvex
