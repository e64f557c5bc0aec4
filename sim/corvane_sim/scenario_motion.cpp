#include "scenario_motion.h"

#include "sim/motion_scenario.h"
#include "sim/tracking_geometry.h"

#include <memory>

namespace corvane_sim {

namespace {

// The optical model keeps a reference to its scenario: both live together.
struct sOpticalView {
    std::unique_ptr<sim::cMotionScenario> motion;
    std::unique_ptr<sim::cOpticalModel> optical;
    Eigen::Isometry3d imuToHeadError;
    Eigen::Isometry3d rigidBodyError;
};

}  // namespace

tessaly::server::RigidBodyMotion ScenarioRigidBodyMotion(const std::string& scenario, int32_t id,
                                                         sim::eSensorProfile profile, double rateHz,
                                                         const sim::sSensorErrorOverrides& errors,
                                                         double scenarioEpoch) {
    const uint32_t seed = sim::SeedForRigidBody(id);
    auto view = std::make_shared<sOpticalView>();
    view->motion = sim::cMotionScenario::Create(scenario, seed);
    if (!view->motion) return {};
    sim::sSensorProfile sensors = sim::MakeSensorProfile(profile, seed, errors);
    sensors.optical.rate = rateHz;
    view->optical = std::make_unique<sim::cOpticalModel>(*view->motion, sensors.optical, seed);
    view->imuToHeadError = sensors.imuToHeadError;
    view->rigidBodyError = sensors.rigidBodyError;
    // Shifted here, not in the motion, so that the occlusion bursts start with it.
    return [view, scenarioEpoch](double exposureSeconds) {
        const sim::sOpticalFrame frame = view->optical->FrameAtStamp(exposureSeconds - scenarioEpoch);
        sim::sMotionState seen;
        seen.position = frame.position;
        seen.orientation = frame.orientation;
        // The scenario moves the body's IMU frame; the mocap system sees the rigid body.
        const Eigen::Isometry3d body = sim::StreamedRigidBodyPose(seen, view->imuToHeadError, view->rigidBodyError);
        const Eigen::Quaterniond q(body.rotation());
        tessaly::server::sRigidBodyPose pose;
        for (int i = 0; i < 3; ++i) pose.position[i] = static_cast<float>(body.translation()[i]);
        pose.orientation[0] = static_cast<float>(q.x());
        pose.orientation[1] = static_cast<float>(q.y());
        pose.orientation[2] = static_cast<float>(q.z());
        pose.orientation[3] = static_cast<float>(q.w());
        pose.tracked = !frame.dropped;
        return pose;
    };
}

}  // namespace corvane_sim
