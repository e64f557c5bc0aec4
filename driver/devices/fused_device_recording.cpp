// The recording thread of a fused device: drains its rings into CSV files.
#include "devices/fused_device.h"

#include "core/callback_boundary.h"
#include "core/driver_log.h"

namespace {

halvex::cCallbackBoundary gRecordThreadBoundary("a device's recording thread");

}  // namespace

void cHalvexFusedDevice::StartRecordThread(uint32_t deviceIndex) {
    std::lock_guard<std::mutex> lock(mRecordControlMutex);
    StartRecordThreadLocked(deviceIndex);
}

void cHalvexFusedDevice::StartRecordThreadLocked(uint32_t deviceIndex) {
    if (mRecordThread.joinable()) {
        if (!mRecordThreadDone.load()) return;
        mRecordThread.join();
    }
    mStopRecordThread.store(false);
    mRecordThreadDone.store(false);
    mRecordingIndex.store(deviceIndex);
    mRecordThread = std::thread([this, deviceIndex] { ThreadProc_RecordThread(deviceIndex); });
    halvex::platform::NameThread(mRecordThread, "halvex-record");
}

void cHalvexFusedDevice::StopRecordThread() {
    std::lock_guard<std::mutex> lock(mRecordControlMutex);
    if (mRecordThread.joinable()) {
        mStopRecordThread.exchange(true);
        mRecordThread.join();
    }
}

bool cHalvexFusedDevice::SetRecording(bool on, std::string& why) {
    // Deactivate may hold the lock while it joins: the runtime's thread must not wait for that.
    std::unique_lock<std::mutex> lock(mRecordControlMutex, std::try_to_lock);
    if (!lock.owns_lock()) {
        why = "the recording is being started or stopped; ask again";
        return false;
    }
    if (!on) {
        // Stopped without a join: the thread writes out what the rings hold and closes the files.
        mRecording.store(false);
        mStopRecordThread.store(true);
        return true;
    }
    const uint32_t deviceIndex = mDeviceIndex.load(std::memory_order_acquire);
    if (deviceIndex == vr::k_unTrackedDeviceIndexInvalid) {
        why = "the device is not active";
        return false;
    }
    if (mRecordThread.joinable() && !mRecordThreadDone.load()) {
        if (!mStopRecordThread.load()) return true;  // recording already
        why = "the previous recording is still being written; ask again";
        return false;
    }
    mRecording.store(true);
    StartRecordThreadLocked(deviceIndex);
    return true;
}

std::string cHalvexFusedDevice::RawDataFile() const {
    const uint32_t index = mRecordingIndex.load();
    return index == vr::k_unTrackedDeviceIndexInvalid ? std::string() : halvex::DefaultRawDataFilePath(index);
}

void cHalvexFusedDevice::ThreadProc_RecordThread(uint32_t deviceIndex) {
    gRecordThreadBoundary.Run([&] { RecordUntilStopped(deviceIndex); });
    mRecordThreadDone.store(true);
}

void cHalvexFusedDevice::RecordUntilStopped(uint32_t deviceIndex) {
    halvex::sRecordingSetup setup;
    setup.imuRawRing = &mImuRawRing;
    setup.opticalRawRing = &mOpticalRawRing;
    setup.filterRing = &mFilterRing;
    setup.filterRowStyle =
        mFamily == eFusedDeviceFamily::Wmr ? halvex::eFilterRowStyle::Wmr : halvex::eFilterRowStyle::Lighthouse;
    {
        // The calibration is read once, when the headers are written.
        std::lock_guard<std::mutex> lock(mPoseMutex);
        for (int r = 0; r < 4; ++r)
            for (int c = 0; c < 4; ++c) setup.header.imuToHead[r][c] = mImuToHead.matrix()(r, c);
    }
    // The newest: a filter on an older one is reset onto it within an IMU poll.
    const halvex::sDeviceCalibration calibration = mNewestCalibration.Get();
    setup.calibration = &calibration;
    CompleteRecordingSetup(setup);
    // The activation's own index: a Deactivate racing this start must not rename the files.
    setup.deviceIndex = deviceIndex;
    setup.log = [](const char* line) { DriverLog("%s", line); };
    setup.driverTimeNow = [this] { return DriverTimeNow(); };
    // Every sample that reaches the filter is recorded under its lock (raw row and filter rows).
    setup.sampleLock = &mFilterMutex;
    const halvex::sRecordingResult result = halvex::RunRecordingLoop(setup, mStopRecordThread);
    // Full rings drop records rather than stall tracking; say how many went.
    if (!result.filesOpened) return;  // the loop has said why already
    DriverLog("%s recording ended: %llu IMU, %llu optical and %llu filter rows written; %llu, %llu and %llu records dropped",
              mName.c_str(), static_cast<unsigned long long>(result.imuRows),
              static_cast<unsigned long long>(result.opticalRows), static_cast<unsigned long long>(result.filterRows),
              static_cast<unsigned long long>(mImuRawRing.dropped()),
              static_cast<unsigned long long>(mOpticalRawRing.dropped()),
              static_cast<unsigned long long>(mFilterRing.dropped()));
}
