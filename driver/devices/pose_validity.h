// What makes a pose fit to hand to the runtime: a NaN or zero orientation makes a
// tracked device vanish there, any other non-finite number is as bad.
#pragma once

#include <openvr_driver.h>

namespace halvex {

bool OrientationIsUsable(const vr::HmdQuaternion_t& q);

// Every number the runtime reads from the pose is finite and the orientation is usable.
bool PoseIsUsable(const vr::DriverPose_t& pose);

}  // namespace halvex
