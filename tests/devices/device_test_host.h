// A scripted runtime for one Lighthouse device at a time: the host interfaces the
// device reaches for, an IMU stream the test fills sample by sample, and every pose
// the device submits. One instance serves the whole test program, because the
// driver keeps the host interfaces in library-wide slots.
#pragma once

#include "../core/fake_host.h"

#include "platform/clock.h"

#include <openvr_driver.h>

#include <array>
#include <atomic>
#include <cstring>
#include <deque>
#include <mutex>
#include <string>
#include <vector>

namespace halvex::test {

struct sSubmittedPose {
    uint32_t deviceIndex;
    vr::DriverPose_t pose;
    double time;  // driver time of the submission
};

class cRecordingServerDriverHost : public vr::IVRServerDriverHost {
public:
    bool TrackedDeviceAdded(const char*, vr::ETrackedDeviceClass, vr::ITrackedDeviceServerDriver*) override {
        return true;
    }
    void TrackedDevicePoseUpdated(uint32_t unWhichDevice, const vr::DriverPose_t& newPose, uint32_t) override {
        const double now = platform::NowSeconds();
        std::lock_guard<std::mutex> lock(mMutex);
        mPoses.push_back({unWhichDevice, newPose, now});
    }
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

    std::vector<sSubmittedPose> Poses() const {
        std::lock_guard<std::mutex> lock(mMutex);
        return mPoses;
    }
    void Clear() {
        std::lock_guard<std::mutex> lock(mMutex);
        mPoses.clear();
    }

private:
    mutable std::mutex mMutex;
    std::vector<sSubmittedPose> mPoses;
};

// One IMU stream, opened under any path; the test decides what it carries.
class cScriptedImuBuffer : public vr::IVRIOBuffer {
public:
    static constexpr vr::PropertyContainerHandle_t kContainer = 5000;

    vr::EIOBufferError Open(const char* pchPath, vr::EIOBufferMode, uint32_t, uint32_t,
                            vr::IOBufferHandle_t* pulBuffer) override {
        std::lock_guard<std::mutex> lock(mMutex);
        mOpenedPaths.push_back(pchPath ? pchPath : "");
        *pulBuffer = ++mNextHandle;
        ++mOpen;
        return vr::IOBuffer_Success;
    }
    vr::EIOBufferError Close(vr::IOBufferHandle_t) override {
        std::lock_guard<std::mutex> lock(mMutex);
        --mOpen;
        return vr::IOBuffer_Success;
    }
    vr::EIOBufferError Read(vr::IOBufferHandle_t, void* pDst, uint32_t unBytes, uint32_t* punRead) override {
        std::lock_guard<std::mutex> lock(mMutex);
        uint32_t copied = 0;
        auto* out = static_cast<unsigned char*>(pDst);
        while (!mPending.empty() && copied + sizeof(vr::ImuSample_t) <= unBytes) {
            std::memcpy(out + copied, &mPending.front(), sizeof(vr::ImuSample_t));
            mPending.pop_front();
            copied += sizeof(vr::ImuSample_t);
        }
        *punRead = copied;
        return vr::IOBuffer_Success;
    }
    vr::EIOBufferError Write(vr::IOBufferHandle_t, void*, uint32_t) override { return vr::IOBuffer_Permission; }
    vr::PropertyContainerHandle_t PropertyContainer(vr::IOBufferHandle_t) override { return kContainer; }
    bool HasReaders(vr::IOBufferHandle_t) override { return true; }

    void Push(const vr::ImuSample_t& sample) {
        std::lock_guard<std::mutex> lock(mMutex);
        mPending.push_back(sample);
    }
    int OpenCount() const {
        std::lock_guard<std::mutex> lock(mMutex);
        return mOpen;
    }
    std::vector<std::string> OpenedPaths() const {
        std::lock_guard<std::mutex> lock(mMutex);
        return mOpenedPaths;
    }
    void Clear() {
        std::lock_guard<std::mutex> lock(mMutex);
        mPending.clear();
        mOpenedPaths.clear();
        mOpen = 0;
    }

private:
    mutable std::mutex mMutex;
    std::deque<vr::ImuSample_t> mPending;
    std::vector<std::string> mOpenedPaths;
    vr::IOBufferHandle_t mNextHandle = 0x100;
    int mOpen = 0;
};

struct sDeviceTestHost {
    cCapturingLog log;
    cFakeProperties properties;
    cRecordingServerDriverHost serverDriverHost;
    cScriptedImuBuffer imu;
    cFakeContext context;

    // Installs itself as the driver's host and log (once per program).
    static sDeviceTestHost& Instance();
    // Forgets what the previous test left: poses, samples, the calibration.
    void Reset();
    // The stream's factory calibration: zero biases and these scales.
    void SetImuCalibration(const std::array<float, 3>& accelScale, const std::array<float, 3>& gyroScale);
};

}  // namespace halvex::test
