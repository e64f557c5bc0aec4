// How a runtime carries a driver pose forward in time before it shows it: the
// position by the pose's velocity, the orientation by its angular velocity, read in
// the body's own (co-moving) frame. Acceleration is not used.
#pragma once

#include <openvr_driver.h>

namespace vrhost {

// The pose `seconds` after its own time (negative: before it).
vr::DriverPose_t CarriedForward(const vr::DriverPose_t& pose, double seconds);

}  // namespace vrhost
