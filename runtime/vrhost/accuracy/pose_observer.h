// Something that looks at every accepted pose update (the truth comparison).
#pragma once

#include "vrhost/host/host_records.h"

#include <string>

namespace vrhost {

class cIPoseObserver {
public:
    virtual ~cIPoseObserver() = default;
    // Called on the driver's thread that submitted the pose, without host locks held.
    virtual void OnPoseUpdate(const std::string& serial, const sPoseUpdate& update) = 0;
};

}  // namespace vrhost
