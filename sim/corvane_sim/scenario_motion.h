// Rigid bodies of a simulated mocap server moving along a motion scenario, with the
// geometry the simulated headset shares (sim/tracking_geometry.h).
#pragma once

#include "tessaly/server/mocap_server.h"

#include <cstdint>
#include <string>

namespace corvane_sim {

// The motion of rigid body `id` in `scenario` (seeded by the ID); an empty function
// when the scenario is unknown.
tessaly::server::RigidBodyMotion ScenarioRigidBodyMotion(const std::string& scenario, int32_t id);

}  // namespace corvane_sim
