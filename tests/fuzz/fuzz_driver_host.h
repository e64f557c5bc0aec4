// A runtime for the driver-side fuzz targets: properties, a log that keeps
// nothing, an IMU stream served from the fuzz input, and a pose sink that fails
// the run when a pose marked valid carries a non-finite number.
#pragma once

#include "../core/fake_host.h"

#include <openvr_driver.h>

#include <atomic>
#include <cstdint>
#include <deque>
#include <mutex>
#include <string>

namespace halvex::fuzz {

class cDiscardingLog : public vr::IVRDriverLog {
public:
    void Log(const char*) override { mLines.fetch_add(1, std::memory_order_relaxed); }
    std::atomic<uint64_t> mLines{0};
};

class cCheckingPoseSink : public vr::IVRServerDriverHost {
public:
    explicit cCheckingPoseSink(const char* target) : mTarget(target) {}
    bool TrackedDeviceAdded(const char*, vr::ETrackedDeviceClass, vr::ITrackedDeviceServerDriver*) override {
        return true;
    }
    void TrackedDevicePoseUpdated(uint32_t, const vr::DriverPose_t& pose, uint32_t) override;
    void VsyncEvent(double) override {}
    void VendorSpecificEvent(uint32_t, vr::EVREventType, const vr::VREvent_Data_t&, double) override {}
    bool IsExiting() override { return false; }
    bool PollNextEvent(vr::VREvent_t*, uint32_t) override { return false; }
    void GetRawTrackedDevicePoses(float, vr::TrackedDevicePose_t*, uint32_t) override {}
    void RequestRestart(const char*, const char*, const char*, const char*) override {}
    uint32_t GetFrameTimings(vr::Compositor_FrameTiming*, uint32_t) override { return 0; }
    void SetDisplayEyeToHead(uint32_t, const vr::HmdMatrix34_t&, const vr::HmdMatrix34_t&) override {}
    void SetDisplayProjectionRaw(uint32_t, const vr::HmdRect2_t&, const vr::HmdRect2_t&) override {}
    void SetRecommendedRenderTargetSize(uint32_t, uint32_t, uint32_t) override {}

    std::atomic<uint64_t> mValidPoses{0};

private:
    const char* mTarget;
};

// One read-only stream at any path, handed out as a runtime does: whole 64-byte
// samples per Read, nothing when none are queued.
class cQueuedImuBuffer : public vr::IVRIOBuffer {
public:
    static constexpr vr::PropertyContainerHandle_t kContainer = 4242;

    vr::EIOBufferError Open(const char*, vr::EIOBufferMode mode, uint32_t, uint32_t,
                            vr::IOBufferHandle_t* handle) override;
    vr::EIOBufferError Close(vr::IOBufferHandle_t) override { return vr::IOBuffer_Success; }
    vr::EIOBufferError Read(vr::IOBufferHandle_t, void* destination, uint32_t bytes, uint32_t* read) override;
    vr::EIOBufferError Write(vr::IOBufferHandle_t, void*, uint32_t) override { return vr::IOBuffer_Permission; }
    vr::PropertyContainerHandle_t PropertyContainer(vr::IOBufferHandle_t) override { return kContainer; }
    bool HasReaders(vr::IOBufferHandle_t) override { return true; }

    void Queue(const vr::ImuSample_t& sample);
    // Reads that found the queue empty so far: two more than before a batch was
    // queued mean the reader drained it and finished the poll that followed.
    uint64_t EmptyReads() const { return mEmptyReads.load(); }
    bool Drained() const;

private:
    mutable std::mutex mMutex;
    std::deque<vr::ImuSample_t> mQueue;
    std::atomic<uint64_t> mEmptyReads{0};
};

// Installs the interfaces into the driver's host slots for the life of the process.
struct sFuzzDriverHost {
    explicit sFuzzDriverHost(const char* target);

    cDiscardingLog log;
    cCheckingPoseSink poses;
    cFakeProperties properties;
    cQueuedImuBuffer imu;
    cFakeContext context;
};

}  // namespace halvex::fuzz
