#include "vrhost/accuracy/pose_math.h"

#include <cmath>

namespace vrhost {
namespace {

struct sQuat {
    double w, x, y, z;
};

sQuat Multiply(const sQuat& a, const sQuat& b) {
    return {a.w * b.w - a.x * b.x - a.y * b.y - a.z * b.z, a.w * b.x + a.x * b.w + a.y * b.z - a.z * b.y,
            a.w * b.y - a.x * b.z + a.y * b.w + a.z * b.x, a.w * b.z + a.x * b.y - a.y * b.x + a.z * b.w};
}

// Drivers hand over quaternions that are only nearly unit; a runtime normalises.
sQuat Normalized(const vr::HmdQuaternion_t& q) {
    const double n = std::sqrt(q.w * q.w + q.x * q.x + q.y * q.y + q.z * q.z);
    if (!(n > 0.0) || !std::isfinite(n)) return {q.w, q.x, q.y, q.z};
    return {q.w / n, q.x / n, q.y / n, q.z / n};
}

void Rotate(const sQuat& q, const double v[3], double out[3]) {
    const sQuat p{0.0, v[0], v[1], v[2]};
    const sQuat conj{q.w, -q.x, -q.y, -q.z};
    const sQuat r = Multiply(Multiply(q, p), conj);
    out[0] = r.x;
    out[1] = r.y;
    out[2] = r.z;
}

}  // namespace

sWorldPose WorldPoseOf(const vr::DriverPose_t& pose) {
    const sQuat worldFromDriver = Normalized(pose.qWorldFromDriverRotation);
    const sQuat driverFromBody = Normalized(pose.qRotation);
    const sQuat bodyFromHead = Normalized(pose.qDriverFromHeadRotation);

    // p_world = R_wd * (p_body_in_driver + R_db * t_head) + t_wd
    double headOffset[3];
    Rotate(driverFromBody, pose.vecDriverFromHeadTranslation, headOffset);
    double inDriver[3];
    for (int i = 0; i < 3; ++i) inDriver[i] = pose.vecPosition[i] + headOffset[i];
    sWorldPose world;
    Rotate(worldFromDriver, inDriver, world.position);
    for (int i = 0; i < 3; ++i) world.position[i] += pose.vecWorldFromDriverTranslation[i];

    const sQuat rotation = Multiply(Multiply(worldFromDriver, driverFromBody), bodyFromHead);
    world.rotation[0] = rotation.w;
    world.rotation[1] = rotation.x;
    world.rotation[2] = rotation.y;
    world.rotation[3] = rotation.z;
    return world;
}

}  // namespace vrhost
