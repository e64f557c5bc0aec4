#include "vrhost/clients/client_poses.h"

#include "vrhost/accuracy/pose_math.h"

#include <cmath>

namespace vrhost {
namespace {

// Rotates v by the unit quaternion (w, x, y, z): v + 2w(u x v) + 2u x (u x v).
void Rotate(const double q[4], const double v[3], double out[3]) {
    const double u[3] = {q[1], q[2], q[3]};
    const double c1[3] = {u[1] * v[2] - u[2] * v[1], u[2] * v[0] - u[0] * v[2], u[0] * v[1] - u[1] * v[0]};
    const double c2[3] = {u[1] * c1[2] - u[2] * c1[1], u[2] * c1[0] - u[0] * c1[2], u[0] * c1[1] - u[1] * c1[0]};
    for (int i = 0; i < 3; ++i) out[i] = v[i] + 2.0 * q[0] * c1[i] + 2.0 * c2[i];
}

void Normalize(double q[4]) {
    const double n = std::sqrt(q[0] * q[0] + q[1] * q[1] + q[2] * q[2] + q[3] * q[3]);
    if (!(n > 0.0) || !std::isfinite(n)) return;
    for (int i = 0; i < 4; ++i) q[i] /= n;
}

}  // namespace

link::sClientPose ClientPoseOf(vr::TrackedDeviceIndex_t index, const vr::DriverPose_t& pose) {
    link::sClientPose client;
    client.device = index;
    client.valid = pose.poseIsValid;
    client.connected = pose.deviceIsConnected;
    client.result = pose.result;
    const sWorldPose world = WorldPoseOf(pose);
    const double w = world.rotation[0], x = world.rotation[1], y = world.rotation[2], z = world.rotation[3];
    const double r[3][3] = {{1 - 2 * (y * y + z * z), 2 * (x * y - w * z), 2 * (x * z + w * y)},
                            {2 * (x * y + w * z), 1 - 2 * (x * x + z * z), 2 * (y * z - w * x)},
                            {2 * (x * z - w * y), 2 * (y * z + w * x), 1 - 2 * (x * x + y * y)}};
    for (int row = 0; row < 3; ++row) {
        for (int col = 0; col < 3; ++col) client.matrix[row * 4 + col] = static_cast<float>(r[row][col]);
        client.matrix[row * 4 + 3] = static_cast<float>(world.position[row]);
    }
    double worldFromDriver[4] = {pose.qWorldFromDriverRotation.w, pose.qWorldFromDriverRotation.x,
                                 pose.qWorldFromDriverRotation.y, pose.qWorldFromDriverRotation.z};
    double driverFromBody[4] = {pose.qRotation.w, pose.qRotation.x, pose.qRotation.y, pose.qRotation.z};
    Normalize(worldFromDriver);
    Normalize(driverFromBody);
    double velocity[3];
    Rotate(worldFromDriver, pose.vecVelocity, velocity);
    // The driver's angular velocity is in the body's own frame.
    double inDriver[3];
    double angular[3];
    Rotate(driverFromBody, pose.vecAngularVelocity, inDriver);
    Rotate(worldFromDriver, inDriver, angular);
    for (int i = 0; i < 3; ++i) {
        client.velocity[i] = static_cast<float>(velocity[i]);
        client.angularVelocity[i] = static_cast<float>(angular[i]);
    }
    // A pose with a number that is not finite is no pose a client can use.
    for (const float v : client.matrix)
        if (!std::isfinite(v)) client.valid = false;
    return client;
}

}  // namespace vrhost
