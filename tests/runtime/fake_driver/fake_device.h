// A tracked device of the fake driver: writes a known property set on Activate and
// submits known poses from its own thread, as a real device does.
#pragma once

#include <openvr_driver.h>

#include <atomic>
#include <string>
#include <thread>

class cFakeDevice final : public vr::ITrackedDeviceServerDriver {
public:
    cFakeDevice(std::string serial, int poseRateHz);
    ~cFakeDevice();

    vr::EVRInitError Activate(uint32_t unObjectId) override;
    void Deactivate() override;
    void EnterStandby() override {}
    void* GetComponent(const char*) override { return nullptr; }
    void DebugRequest(const char*, char* pchResponseBuffer, uint32_t unResponseBufferSize) override;
    vr::DriverPose_t GetPose() override;

    const std::string& Serial() const { return mSerial; }

    // The pose every update carries, but for a counter in poseTimeOffset.
    static vr::DriverPose_t KnownPose(uint32_t index);

private:
    void PoseThread();

    const std::string mSerial;
    const int mPoseRateHz;
    std::atomic<uint32_t> mIndex{vr::k_unTrackedDeviceIndexInvalid};
    std::atomic<bool> mStop{false};
    std::thread mThread;
};
