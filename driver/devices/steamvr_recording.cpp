// The Lighthouse device's recording thread: drains its rings into CSV files.
#include "devices/steamvr_device.h"

#include "core/callback_boundary.h"
#include "core/driver_log.h"
#include "recording/recording_loop.h"

namespace {

halvex::cCallbackBoundary gRecordThreadBoundary("a Lighthouse device's recording thread");

}  // namespace

void cHalvexSteamvrDevice::ThreadProc_RecordThread(uint32_t deviceIndex) {
    gRecordThreadBoundary.Run([&] { RecordUntilStopped(deviceIndex); });
}

void cHalvexSteamvrDevice::RecordUntilStopped(uint32_t deviceIndex) {
    halvex::sRecordingSetup setup;
    setup.imuRawRing = &mImuRawRing;
    setup.opticalRawRing = &mOpticalRawRing;
    setup.filterRing = &mFilterRing;
    setup.filterRowStyle = halvex::eFilterRowStyle::Lighthouse;
    {
        // The calibration is read once, when the headers are written.
        std::lock_guard<std::mutex> lock(mPoseMutex);
        for (int r = 0; r < 4; ++r)
            for (int c = 0; c < 4; ++c) setup.header.imuToHead[r][c] = mImuToHead.matrix()(r, c);
    }
    setup.header.hasFactoryScales = true;
    for (int i = 0; i < 3; ++i) {
        setup.header.factoryAccelScale[i] = mFactoryAccelScale[i];
        setup.header.factoryGyroScale[i] = mFactoryGyroScale[i];
    }
    // The activation's own index: a Deactivate racing this start must not rename the files.
    setup.deviceIndex = deviceIndex;
    setup.log = [](const char* line) { DriverLog("%s", line); };
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
