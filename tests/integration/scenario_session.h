// A mocap server in-process whose bodies follow a scenario, and lookups of the
// devices and pose updates a hosted driver produced.
#pragma once

#include "tessaly/server/mocap_server.h"
#include "vrhost/host/host.h"

#include <memory>
#include <string>
#include <vector>

namespace halvex::test {

// Streams each of `rigidBodies` following `scenario`, started at monotonic second
// `scenarioEpoch`; the driver's discovery is pointed at it.
std::unique_ptr<tessaly::server::cMocapServer> StartScenarioServer(const std::string& scenario,
                                                                   const std::vector<int32_t>& rigidBodies,
                                                                   double scenarioEpoch = 0.0);

vr::TrackedDeviceIndex_t IndexOf(const vrhost::cHost& host, const std::string& serial);
std::vector<vrhost::sPoseUpdate> UpdatesOf(const vrhost::cHost& host, vr::TrackedDeviceIndex_t index);
bool HasAngularVelocity(const vr::DriverPose_t& pose);

// Runs the host until the device submits an invalid pose after host time `since`
// (at most `seconds`); the host time of that update, or a negative value.
double RunUntilInvalidPoseAfter(vrhost::cHost& host, vr::TrackedDeviceIndex_t index, double since, double seconds);

}  // namespace halvex::test
