// Rigid bodies of a simulated mocap server moving along a motion scenario, with the
// geometry the simulated headset shares (sim/tracking_geometry.h).
#pragma once

#include "sim/sensor_profile.h"
#include "tessaly/server/mocap_server.h"

#include <cstdint>
#include <string>

namespace corvane_sim {

// The motion of rigid body `id` in `scenario` (seeded by the ID) as the profile's
// optical model sees it: noise, dropouts (untracked frames) and, realistically,
// stamps that misjudge the pose's time, occlusion bursts and a miscalibrated
// headset. An empty function when the scenario is unknown. `rateHz` is the server's;
// the scenario starts at monotonic second `scenarioEpoch` (sim/scenario_epoch.h).
tessaly::server::RigidBodyMotion ScenarioRigidBodyMotion(const std::string& scenario, int32_t id,
                                                         sim::eSensorProfile profile = sim::eSensorProfile::Ideal,
                                                         double rateHz = 120.0,
                                                         const sim::sSensorErrorOverrides& errors = {},
                                                         double scenarioEpoch = 0.0);

}  // namespace corvane_sim
