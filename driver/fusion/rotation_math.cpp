#include "rotation_math.h"

#include <cmath>

namespace halvex {

Eigen::Matrix3d SkewMatrix(const Eigen::Vector3d& v) {
    Eigen::Matrix3d skew;
    skew << 0.0, -v.z(), v.y(),
            v.z(), 0.0, -v.x(),
            -v.y(), v.x(), 0.0;
    return skew;
}

Eigen::Quaterniond QuaternionFromRotationVector(const Eigen::Vector3d& rotationVector) {
    const double angle = rotationVector.norm();
    Eigen::Vector3d axis = Eigen::Vector3d::UnitX();
    if (angle > kSmallAngle) axis = rotationVector / angle;
    const double halfSin = std::sin(angle / 2.0);
    return Eigen::Quaterniond(std::cos(angle / 2.0), axis.x() * halfSin, axis.y() * halfSin,
                              axis.z() * halfSin);
}

Eigen::Vector3d RotationVectorFromQuaternion(const Eigen::Quaterniond& q) {
    const Eigen::Vector3d v = q.vec();
    double n = v.norm();
    // The plain norm underflows for tiny components; the scaled one does not.
    if (n < kSmallAngle) n = v.stableNorm();
    if (n == 0.0) return Eigen::Vector3d::Zero();
    const double angle = 2.0 * std::atan2(n, std::abs(q.w()));
    Eigen::Vector3d axis = v / n;
    if (q.w() < 0.0) axis = -axis;
    return angle * axis;
}

Eigen::Quaterniond QuaternionInverse(const Eigen::Quaterniond& q) {
    const double squaredNorm = q.squaredNorm();
    if (!(squaredNorm > 0.0)) return Eigen::Quaterniond(0.0, 0.0, 0.0, 0.0);
    const Eigen::Quaterniond conjugate = q.conjugate();
    return Eigen::Quaterniond(conjugate.coeffs() / squaredNorm);
}

Eigen::Quaterniond NormalizedIfNonZero(const Eigen::Quaterniond& q) {
    const double squaredNorm = q.squaredNorm();
    if (!(squaredNorm > 0.0)) return q;
    return Eigen::Quaterniond(q.coeffs() / std::sqrt(squaredNorm));
}

}  // namespace halvex
