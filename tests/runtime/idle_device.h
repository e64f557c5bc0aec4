// A device that a test registers with the host and then submits poses for itself.
#pragma once

#include <openvr_driver.h>

namespace vrhost_test {

class cIdleDevice final : public vr::ITrackedDeviceServerDriver {
public:
    vr::EVRInitError Activate(uint32_t) override { return vr::VRInitError_None; }
    void Deactivate() override {}
    void EnterStandby() override {}
    void* GetComponent(const char*) override { return nullptr; }
    void DebugRequest(const char*, char* response, uint32_t size) override {
        if (size > 0) response[0] = '\0';
    }
    vr::DriverPose_t GetPose() override { return vr::DriverPose_t{}; }
};

}  // namespace vrhost_test
