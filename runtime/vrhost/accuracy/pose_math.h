// The world pose a runtime derives from a driver pose. Transforms are named by
// their frames so compositions read left to right; quaternions are w, x, y, z.
#pragma once

#include <openvr_driver.h>

namespace vrhost {

struct sWorldPose {
    double position[3] = {0.0, 0.0, 0.0};
    double rotation[4] = {1.0, 0.0, 0.0, 0.0};  // w, x, y, z
};

// worldFromHead = worldFromDriver * driverFromBody * bodyFromHead: the pose's
// qRotation/vecPosition is driverFromBody; its "driver from head" offset maps the
// head into the tracked body's frame.
sWorldPose WorldPoseOf(const vr::DriverPose_t& pose);

}  // namespace vrhost
