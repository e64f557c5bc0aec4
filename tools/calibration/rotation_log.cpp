#include "rotation_log.h"

#include <Eigen/Geometry>

#include <cmath>

namespace halvex::calibration {
namespace {

Eigen::Matrix3d Skew(const Eigen::Vector3d& v) {
    Eigen::Matrix3d m;
    m << 0.0, -v.z(), v.y(), v.z(), 0.0, -v.x(), -v.y(), v.x(), 0.0;
    return m;
}

}  // namespace

Eigen::Vector3d LogOfRotation(const Eigen::Matrix3d& rotation) {
    const Eigen::AngleAxisd angleAxis(rotation);
    double angle = angleAxis.angle();
    Eigen::Vector3d axis = angleAxis.axis();
    if (angle > EIGEN_PI) {
        angle = 2.0 * EIGEN_PI - angle;
        axis = -axis;
    }
    return angle * axis;
}

Eigen::Matrix3d ExpOfRotationVector(const Eigen::Vector3d& v) {
    const double angle = v.norm();
    if (angle < 1e-300) return Eigen::Matrix3d::Identity();
    return Eigen::AngleAxisd(angle, v / angle).toRotationMatrix();
}

Eigen::Matrix3d InverseRightJacobian(const Eigen::Vector3d& phi) {
    const double angle = phi.norm();
    const Eigen::Matrix3d s = Skew(phi);
    // Series below a small angle, where the closed form loses its digits.
    const double c = angle < 1e-4 ? 1.0 / 12.0 + angle * angle / 720.0
                                  : 1.0 / (angle * angle) -
                                        (1.0 + std::cos(angle)) / (2.0 * angle * std::sin(angle));
    return Eigen::Matrix3d::Identity() + 0.5 * s + c * s * s;
}

}  // namespace halvex::calibration
