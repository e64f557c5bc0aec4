// The motion of a frame fixed to a moving body at a constant offset: where a
// sensor mounted off the body's origin goes, with its own velocity, acceleration
// (lever arm included) and body-frame angular velocity.
#pragma once

#include "motion_scenario.h"

#include <Eigen/Geometry>

#include <memory>

namespace sim {

class cOffsetMotion final : public cMotionScenario {
public:
    // `bodyFromFrame`: the frame's pose in the body's frame.
    cOffsetMotion(std::unique_ptr<cMotionScenario> body, const Eigen::Isometry3d& bodyFromFrame);
    sMotionState At(double t) const override;

private:
    std::unique_ptr<cMotionScenario> mBody;
    Eigen::Quaterniond mRotation;
    Eigen::Vector3d mTranslation;
};

}  // namespace sim
