#include "vrhost/accuracy/pose_prediction.h"

#include <Eigen/Geometry>

#include <cmath>

namespace vrhost {

vr::DriverPose_t CarriedForward(const vr::DriverPose_t& pose, double seconds) {
    vr::DriverPose_t carried = pose;
    for (int i = 0; i < 3; ++i) carried.vecPosition[i] += pose.vecVelocity[i] * seconds;
    const Eigen::Vector3d turn =
        Eigen::Vector3d(pose.vecAngularVelocity[0], pose.vecAngularVelocity[1], pose.vecAngularVelocity[2]) * seconds;
    const double angle = turn.norm();
    if (angle > 0.0 && std::isfinite(angle)) {
        const Eigen::Quaterniond q(pose.qRotation.w, pose.qRotation.x, pose.qRotation.y, pose.qRotation.z);
        // Body-frame rate: the increment multiplies on the right.
        const Eigen::Quaterniond turned = q * Eigen::Quaterniond(Eigen::AngleAxisd(angle, turn / angle));
        carried.qRotation = {turned.w(), turned.x(), turned.y(), turned.z()};
    }
    return carried;
}

}  // namespace vrhost
