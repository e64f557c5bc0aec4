// The pose a client reads of a device, derived from the newest driver pose as a
// runtime does: device to tracking space, velocities in the tracking space.
#pragma once

#include "client_link/client_messages.h"

#include <openvr_driver.h>

namespace vrhost {

link::sClientPose ClientPoseOf(vr::TrackedDeviceIndex_t index, const vr::DriverPose_t& pose);

}  // namespace vrhost
