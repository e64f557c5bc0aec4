#include "offset_motion.h"

namespace sim {

namespace {

// Step of the central difference that gives the angular acceleration.
constexpr double kDifferenceStep = 1e-4;

Eigen::Vector3d WorldRate(const sMotionState& s) { return s.orientation * s.angularVelocity; }

}  // namespace

cOffsetMotion::cOffsetMotion(std::unique_ptr<cMotionScenario> body, const Eigen::Isometry3d& bodyFromFrame)
    : mBody(std::move(body)), mRotation(bodyFromFrame.rotation()), mTranslation(bodyFromFrame.translation()) {}

sMotionState cOffsetMotion::At(double t) const {
    const sMotionState body = mBody->At(t);
    const Eigen::Vector3d lever = body.orientation * mTranslation;
    const Eigen::Vector3d omega = WorldRate(body);
    const Eigen::Vector3d alpha =
        (WorldRate(mBody->At(t + kDifferenceStep)) - WorldRate(mBody->At(t - kDifferenceStep))) / (2.0 * kDifferenceStep);
    sMotionState frame;
    frame.position = body.position + lever;
    frame.orientation = (body.orientation * mRotation).normalized();
    frame.velocity = body.velocity + omega.cross(lever);
    frame.acceleration = body.acceleration + alpha.cross(lever) + omega.cross(omega.cross(lever));
    frame.angularVelocity = mRotation.conjugate() * body.angularVelocity;
    return frame;
}

}  // namespace sim
