// The recording thread of a fused device: drains its rings into CSV files.
#include "devices/fused_device.h"

#include "core/driver_log.h"

void cHalvexFusedDevice::StartRecordThread(uint32_t deviceIndex) { mRecorder.Start(deviceIndex); }

void cHalvexFusedDevice::StopRecordThread() { mRecorder.Stop(); }

bool cHalvexFusedDevice::SetRecording(bool on, std::string& why) {
    return mRecorder.Set(on, mDeviceIndex.load(std::memory_order_acquire), why);
}

std::string cHalvexFusedDevice::RawDataFile() const { return mRecorder.RawDataFile(); }

void cHalvexFusedDevice::RecordUntilStopped(uint32_t deviceIndex, double recordFrom, const std::atomic<bool>& stop) {
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
    setup.recordFrom = recordFrom;
    // Every sample that reaches the filter is recorded under its lock (raw row and filter rows).
    setup.sampleLock = &mFilterMutex;
    const halvex::sRecordingResult result = halvex::RunRecordingLoop(setup, stop);
    // Full rings drop records rather than stall tracking; say how many went.
    if (!result.filesOpened) return;  // the loop has said why already
    DriverLog("%s recording ended: %llu IMU, %llu optical and %llu filter rows written; %llu, %llu and %llu records dropped",
              mName.c_str(), static_cast<unsigned long long>(result.imuRows),
              static_cast<unsigned long long>(result.opticalRows), static_cast<unsigned long long>(result.filterRows),
              static_cast<unsigned long long>(mImuRawRing.dropped()),
              static_cast<unsigned long long>(mOpticalRawRing.dropped()),
              static_cast<unsigned long long>(mFilterRing.dropped()));
}
