// What the headset's own runtime reports for a scenario: the orientation of the
// head's rigid body with the driver's alignment applied on the right, seen from the
// headset runtime's frame (yawed against the tracking space, wherever the user
// faced when it started), and the body-frame angular velocity.
#pragma once

#include "ring_writer.h"

#include "sim/motion_scenario.h"

#include <Eigen/Geometry>

namespace oculus_sim {

// The headset runtime's frame against the tracking space.
Eigen::Quaterniond TrackingFromHeadsetWorld();

// The headset sample at scenario time `t` (driver seconds), stamped `timestamp`.
sHeadsetSample HeadsetSampleAt(const sim::cMotionScenario& scenario, double t, int64_t timestamp);

}  // namespace oculus_sim
