#include "scenario_session.h"

#include "scenario_motion.h"
#include "test_support.h"

#include <gtest/gtest.h>

namespace halvex::test {

std::unique_ptr<tessaly::server::cMocapServer> StartScenarioServer(const std::string& scenario,
                                                                   const std::vector<int32_t>& rigidBodies,
                                                                   double scenarioEpoch) {
    tessaly::server::sMocapServerConfig config;
    config.frameRateHz = 120.0;
    config.latencySeconds = 0.012;
    auto server = std::make_unique<tessaly::server::cMocapServer>(config);
    for (int32_t id : rigidBodies) {
        server->SetRigidBodyMotion(id, corvane_sim::ScenarioRigidBodyMotion(scenario, id, sim::eSensorProfile::Ideal,
                                                                            config.frameRateHz, {}, scenarioEpoch));
    }
    std::string error;
    EXPECT_TRUE(server->Start(&error)) << error;
    SetEnvironment("TESSALY_DISCOVERY_ADDRESSES", server->DiscoveryEntry());
    return server;
}

vr::TrackedDeviceIndex_t IndexOf(const vrhost::cHost& host, const std::string& serial) {
    for (const auto& device : host.Devices())
        if (device.serial == serial) return device.index;
    return vr::k_unTrackedDeviceIndexInvalid;
}

std::vector<vrhost::sPoseUpdate> UpdatesOf(const vrhost::cHost& host, vr::TrackedDeviceIndex_t index) {
    std::vector<vrhost::sPoseUpdate> updates;
    for (const auto& update : host.PoseUpdates())
        if (update.deviceIndex == index) updates.push_back(update);
    return updates;
}

bool HasAngularVelocity(const vr::DriverPose_t& pose) {
    return pose.vecAngularVelocity[0] != 0.0 || pose.vecAngularVelocity[1] != 0.0 || pose.vecAngularVelocity[2] != 0.0;
}

double RunUntilInvalidPoseAfter(vrhost::cHost& host, vr::TrackedDeviceIndex_t index, double since, double seconds) {
    double invalidAt = -1.0;
    RunUntil(host, [&] {
        for (const auto& update : UpdatesOf(host, index)) {
            if (update.hostTime > since && !update.pose.poseIsValid) {
                invalidAt = update.hostTime;
                return true;
            }
        }
        return false;
    }, seconds);
    return invalidAt;
}

}  // namespace halvex::test
