#include "headset_motion.h"

#include "sim/tracking_geometry.h"

namespace oculus_sim {

Eigen::Quaterniond TrackingFromHeadsetWorld() {
    return Eigen::Quaterniond(Eigen::AngleAxisd(0.7, Eigen::Vector3d::UnitY()));
}

sHeadsetSample HeadsetSampleAt(const sim::cMotionScenario& scenario, double t, int64_t timestamp) {
    const sim::sMotionState imu = scenario.At(t);
    const Eigen::Quaterniond rigidBody(sim::StreamedRigidBodyPose(imu).linear());
    // The driver's corrector applies a half turn about y on the right; the headset's
    // own frame is the rigid body's with that turn undone.
    const Eigen::Quaterniond trackingFromHead = rigidBody * sim::WorldFromTracking();
    const Eigen::Quaterniond headset = (TrackingFromHeadsetWorld().conjugate() * trackingFromHead).normalized();
    const Eigen::Quaterniond imuFromHead = imu.orientation.conjugate() * trackingFromHead;
    const Eigen::Vector3d headRate = imuFromHead.conjugate() * imu.angularVelocity;
    sHeadsetSample sample{};
    sample.orientation[0] = static_cast<float>(headset.x());
    sample.orientation[1] = static_cast<float>(headset.y());
    sample.orientation[2] = static_cast<float>(headset.z());
    sample.orientation[3] = static_cast<float>(headset.w());
    for (int i = 0; i < 3; ++i) sample.angularVelocity[i] = static_cast<float>(headRate[i]);
    sample.timestamp = timestamp;
    return sample;
}

}  // namespace oculus_sim
