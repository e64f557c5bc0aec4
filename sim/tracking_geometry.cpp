#include "sim/tracking_geometry.h"

namespace sim {

Eigen::Quaterniond WorldFromTracking() { return Eigen::Quaterniond(0.0, 0.0, 1.0, 0.0); }

Eigen::Isometry3d HeadsetImuToHead() {
    Eigen::Isometry3d imuToHead = Eigen::Isometry3d::Identity();
    imuToHead.linear() = Eigen::AngleAxisd(0.05, Eigen::Vector3d::UnitX()).toRotationMatrix();
    imuToHead.translation() = Eigen::Vector3d(0.0, 0.03, 0.06);
    return imuToHead;
}

uint32_t SeedForRigidBody(int32_t rigidBodyId) { return static_cast<uint32_t>(rigidBodyId) * 2654435761u + 1u; }

Eigen::Isometry3d ToIsometry(const Eigen::Vector3d& position, const Eigen::Quaterniond& orientation) {
    Eigen::Isometry3d pose = Eigen::Isometry3d::Identity();
    pose.linear() = orientation.normalized().toRotationMatrix();
    pose.translation() = position;
    return pose;
}

Eigen::Isometry3d StreamedRigidBodyPose(const sMotionState& imu, const Eigen::Isometry3d& imuToHeadError,
                                        const Eigen::Isometry3d& rigidBodyInHead) {
    const Eigen::Isometry3d alignment(WorldFromTracking());
    const Eigen::Isometry3d trueImuToHead = HeadsetImuToHead() * imuToHeadError;
    return ToIsometry(imu.position, imu.orientation) * trueImuToHead.inverse() * rigidBodyInHead *
           alignment.inverse();
}

Eigen::Isometry3d WorldPoseOfRigidBody(const Eigen::Isometry3d& rigidBody, const Eigen::Isometry3d& driverFromHead) {
    const Eigen::Isometry3d alignment(WorldFromTracking());
    return alignment * rigidBody * alignment * driverFromHead;
}

}  // namespace sim
