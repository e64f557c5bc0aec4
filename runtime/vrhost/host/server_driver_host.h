// IVRServerDriverHost_006: device registration and pose updates. Index 0 is the
// simulated headset; driver devices get 1, 2, 3, ... Devices are activated from
// the runtime thread (the thread that drives Init and the frames), never from
// inside TrackedDeviceAdded, so a driver may register from any thread. Pose
// updates arrive on driver threads and are recorded under a lock.
#pragma once

#include "vrhost/host/host_records.h"
#include "vrhost/accuracy/pose_observer.h"

#include <openvr_driver.h>

#include <atomic>
#include <cstdint>
#include <mutex>
#include <string>
#include <vector>

namespace vrhost {

class cPropertyStore;
class cPoseCsvWriter;

class cServerDriverHost final : public vr::IVRServerDriverHost {
public:
    cServerDriverHost(cPropertyStore& properties, size_t poseHistoryLimit);

    // Optional sink for every accepted pose update; not owned.
    void SetPoseCsv(cPoseCsvWriter* writer);
    // Optional observer of every accepted pose update; not owned, must outlive the driver's threads.
    void SetPoseObserver(cIPoseObserver* observer);

    // Runtime thread: activates the devices registered since the last call, in
    // registration order, and reads each one's pose once after a good Activate.
    void ActivatePending();
    // Runtime thread: Deactivate on every active device, in registration order.
    void DeactivateAll();
    // After the provider's Cleanup the device objects are gone: forget them.
    void ReleaseDevices();
    void SetExiting(bool exiting) { mExiting.store(exiting); }

    std::vector<sDeviceRecord> Devices() const;
    // The driver's object for a device index; null when unknown or released.
    vr::ITrackedDeviceServerDriver* Device(vr::TrackedDeviceIndex_t index) const;
    std::vector<sPoseUpdate> PoseUpdates() const;

    // Any thread: hands `request` to an active device's DebugRequest with a buffer of
    // min(bufferSize, 32k) and returns what it wrote. False for no such active device.
    bool DebugRequest(vr::TrackedDeviceIndex_t index, const std::string& request, uint32_t bufferSize,
                      std::string& response);
    // Held while the device objects may go away (Cleanup, release): no request reaches one then.
    std::unique_lock<std::mutex> HoldDriverCalls() { return std::unique_lock<std::mutex>(mDriverCallMutex); }
    // Pose updates refused: unknown device index or a wrong record size.
    uint64_t RejectedPoseUpdates() const;

    bool TrackedDeviceAdded(const char* pchDeviceSerialNumber, vr::ETrackedDeviceClass eDeviceClass,
                            vr::ITrackedDeviceServerDriver* pDriver) override;
    void TrackedDevicePoseUpdated(uint32_t unWhichDevice, const vr::DriverPose_t& newPose,
                                  uint32_t unPoseStructSize) override;
    void VsyncEvent(double vsyncTimeOffsetSeconds) override;
    void VendorSpecificEvent(uint32_t unWhichDevice, vr::EVREventType eventType, const vr::VREvent_Data_t& eventData,
                             double eventTimeOffset) override;
    bool IsExiting() override;
    bool PollNextEvent(vr::VREvent_t* pEvent, uint32_t uncbVREvent) override;
    void GetRawTrackedDevicePoses(float fPredictedSecondsFromNow, vr::TrackedDevicePose_t* pTrackedDevicePoseArray,
                                  uint32_t unTrackedDevicePoseArrayCount) override;
    void RequestRestart(const char* pchLocalizedReason, const char* pchExecutableToStart, const char* pchArguments,
                        const char* pchWorkingDirectory) override;
    uint32_t GetFrameTimings(vr::Compositor_FrameTiming* pTiming, uint32_t nFrames) override;
    void SetDisplayEyeToHead(uint32_t unWhichDevice, const vr::HmdMatrix34_t& eyeToHeadLeft,
                             const vr::HmdMatrix34_t& eyeToHeadRight) override;
    void SetDisplayProjectionRaw(uint32_t unWhichDevice, const vr::HmdRect2_t& eyeLeft,
                                 const vr::HmdRect2_t& eyeRight) override;
    void SetRecommendedRenderTargetSize(uint32_t unWhichDevice, uint32_t nWidth, uint32_t nHeight) override;

private:
    struct sDevice {
        sDeviceRecord record;
        vr::ITrackedDeviceServerDriver* driver = nullptr;  // null once released
    };
    sDevice* FindLocked(vr::TrackedDeviceIndex_t index);
    const sDevice* FindLocked(vr::TrackedDeviceIndex_t index) const;

    cPropertyStore& mProperties;
    const size_t mPoseHistoryLimit;
    std::mutex mDriverCallMutex;  // taken before mMutex
    mutable std::mutex mMutex;
    std::vector<sDevice> mDevices;  // in registration order; index = position + 1
    std::vector<vr::TrackedDeviceIndex_t> mPendingActivation;
    std::vector<sPoseUpdate> mPoseHistory;
    uint64_t mRejectedPoseUpdates = 0;
    cPoseCsvWriter* mPoseCsv = nullptr;
    cIPoseObserver* mPoseObserver = nullptr;
    std::atomic<bool> mExiting{false};
};

}  // namespace vrhost
