// A motion scenario built from seven periodic channels: position x, y, z and
// yaw (about y), pitch (about x), roll (about z) applied in that order.
#pragma once

#include "motion_channel.h"
#include "motion_scenario.h"

namespace sim {

struct sMotionChannels {
    double period = 1.0;  // seconds; every term must repeat within it
    cMotionChannel x, y, z;
    cMotionChannel yaw, pitch, roll;
};

class cChannelMotionScenario final : public cMotionScenario {
public:
    explicit cChannelMotionScenario(sMotionChannels channels);
    sMotionState At(double t) const override;

private:
    sMotionChannels m_channels;
};

}  // namespace sim
