#include "devices/pose_validity.h"

#include <cmath>

namespace halvex {

namespace {

bool Finite3(const double v[3]) { return std::isfinite(v[0]) && std::isfinite(v[1]) && std::isfinite(v[2]); }

bool FiniteQuaternion(const vr::HmdQuaternion_t& q) {
    return std::isfinite(q.w) && std::isfinite(q.x) && std::isfinite(q.y) && std::isfinite(q.z);
}

}  // namespace

bool OrientationIsUsable(const vr::HmdQuaternion_t& q) {
    const double norm2 = q.w * q.w + q.x * q.x + q.y * q.y + q.z * q.z;
    return FiniteQuaternion(q) && std::isfinite(norm2) && norm2 > 0.0;
}

bool PoseIsUsable(const vr::DriverPose_t& pose) {
    return OrientationIsUsable(pose.qRotation) && Finite3(pose.vecPosition) && Finite3(pose.vecVelocity) &&
           Finite3(pose.vecAcceleration) && Finite3(pose.vecAngularVelocity) && Finite3(pose.vecAngularAcceleration) &&
           std::isfinite(pose.poseTimeOffset) && FiniteQuaternion(pose.qWorldFromDriverRotation) &&
           Finite3(pose.vecWorldFromDriverTranslation) && FiniteQuaternion(pose.qDriverFromHeadRotation) &&
           Finite3(pose.vecDriverFromHeadTranslation);
}

}  // namespace halvex
