// What the host records of a session: registered devices and the poses they sent.
#pragma once

#include "vrhost/accuracy/pose_math.h"

#include <openvr_driver.h>

#include <cstdint>
#include <string>

namespace vrhost {

struct sPoseUpdate {
    double hostTime = 0.0;  // driver time (the shared monotonic clock) at receipt
    vr::TrackedDeviceIndex_t deviceIndex = vr::k_unTrackedDeviceIndexInvalid;
    vr::DriverPose_t pose{};
    sWorldPose world;  // derived as a runtime does
};

struct sDeviceRecord {
    vr::TrackedDeviceIndex_t index = vr::k_unTrackedDeviceIndexInvalid;
    std::string serial;
    vr::ETrackedDeviceClass deviceClass = vr::TrackedDeviceClass_Invalid;
    vr::PropertyContainerHandle_t container = vr::k_ulInvalidPropertyContainer;
    bool activated = false;  // Activate has been called
    vr::EVRInitError activateResult = vr::VRInitError_None;
    bool deactivated = false;
    bool hasInitialPose = false;  // GetPose right after a successful Activate
    vr::DriverPose_t initialPose{};
    uint64_t poseUpdates = 0;
    bool hasLastPose = false;
    sPoseUpdate lastPose;
};

}  // namespace vrhost
