#include "scenario_motion.h"

#include "sim/motion_scenario.h"
#include "sim/tracking_geometry.h"

#include <memory>

namespace corvane_sim {

tessaly::server::RigidBodyMotion ScenarioRigidBodyMotion(const std::string& scenario, int32_t id) {
    std::shared_ptr<const sim::cMotionScenario> motion =
        sim::cMotionScenario::Create(scenario, sim::SeedForRigidBody(id));
    if (!motion) return {};
    return [motion](double exposureSeconds) {
        // The scenario moves the body's IMU frame; the mocap system sees the rigid body.
        const Eigen::Isometry3d body = sim::StreamedRigidBodyPose(motion->At(exposureSeconds));
        const Eigen::Quaterniond q(body.rotation());
        tessaly::server::sRigidBodyPose pose;
        for (int i = 0; i < 3; ++i) pose.position[i] = static_cast<float>(body.translation()[i]);
        pose.orientation[0] = static_cast<float>(q.x());
        pose.orientation[1] = static_cast<float>(q.y());
        pose.orientation[2] = static_cast<float>(q.z());
        pose.orientation[3] = static_cast<float>(q.w());
        return pose;
    };
}

}  // namespace corvane_sim
