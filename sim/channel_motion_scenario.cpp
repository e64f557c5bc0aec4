#include "channel_motion_scenario.h"

#include <cmath>
#include <utility>

namespace sim {

cChannelMotionScenario::cChannelMotionScenario(sMotionChannels channels)
    : m_channels(std::move(channels)) {}

sMotionState cChannelMotionScenario::At(double t) const {
    // Reducing first keeps full precision for large driver times.
    double tau = std::fmod(t, m_channels.period);
    if (tau < 0.0) tau += m_channels.period;

    const sChannelValue x = m_channels.x.At(tau);
    const sChannelValue y = m_channels.y.At(tau);
    const sChannelValue z = m_channels.z.At(tau);
    const sChannelValue yaw = m_channels.yaw.At(tau);
    const sChannelValue pitch = m_channels.pitch.At(tau);
    const sChannelValue roll = m_channels.roll.At(tau);

    sMotionState state;
    state.position = {x.value, y.value, z.value};
    state.velocity = {x.rate, y.rate, z.rate};
    state.acceleration = {x.acceleration, y.acceleration, z.acceleration};

    const Eigen::Quaterniond yawRotation(Eigen::AngleAxisd(yaw.value, Eigen::Vector3d::UnitY()));
    const Eigen::Quaterniond pitchRotation(Eigen::AngleAxisd(pitch.value, Eigen::Vector3d::UnitX()));
    const Eigen::Quaterniond rollRotation(Eigen::AngleAxisd(roll.value, Eigen::Vector3d::UnitZ()));
    state.orientation = (yawRotation * pitchRotation * rollRotation).normalized();

    // Body rate of R = Ry Rx Rz: each axis rate seen through the rotations after it.
    const Eigen::Matrix3d rollInverse = rollRotation.toRotationMatrix().transpose();
    const Eigen::Matrix3d pitchInverse = pitchRotation.toRotationMatrix().transpose();
    state.angularVelocity = rollInverse * (pitchInverse * (yaw.rate * Eigen::Vector3d::UnitY()) +
                                           pitch.rate * Eigen::Vector3d::UnitX()) +
                            roll.rate * Eigen::Vector3d::UnitZ();
    return state;
}

}  // namespace sim
