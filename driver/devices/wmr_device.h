// The device class for a Windows Mixed Reality headset: head and both controllers.
// The head fuses the optical pose with the headset's IMU, read straight from its
// HID sensor interface on an IMU thread of its own.
#pragma once

#include "devices/fused_device.h"
#include "platform/hid.h"
#include "wmr/headset_clock.h"
#include "wmr/imu_link.h"
#include "wmr/sensor_decoding.h"

class alignas(64) cHalvexWmrDevice : public cHalvexFusedDevice {
public:
    cHalvexWmrDevice(cHalvexDeviceProvider* provider, eSemantic semantic, const std::string& serial);
    ~cHalvexWmrDevice() override;

    vr::EVRInitError Activate(uint32_t unObjectId) override;
    void Deactivate() override;

private:
    void WakeImuThread() override;
    void CompleteRecordingSetup(halvex::sRecordingSetup& setup) override;

    enum class ePoll { SensorReport, NoReport, DeviceLost };
    // How long a lost device waits before each new search.
    static constexpr double kSearchAgainSeconds = 1.0;

    // deviceIndex: the index this activation was given, for the recording's file names.
    void ThreadProc_ImuThread(uint32_t deviceIndex);
    // Polls the open device until a stop (false) or until it is lost (true).
    bool PollUntilLost_ImuThread();
    // After a loss: pose invalidated, then a new search every kSearchAgainSeconds
    // until a device opens (true) or a stop comes (false).
    bool SearchAgain_ImuThread();
    // True when a stop came within `seconds`.
    bool WaitForStop_ImuThread(double seconds);
    // One report. SensorReport whatever became of its samples; DeviceLost on a read
    // error of the chosen device (a wrong candidate's error is only NoReport).
    ePoll PollImu_ImuThread();
    // The head on the fusion path: the one device whose pose the IMU makes.
    bool ImuFeedsPose() const;
    // The four samples of a report into recording and filter, then the fused pose and stale checks.
    void TakeSamples_ImuThread(const halvex::wmr::sWmrImuSample (&samples)[halvex::wmr::kSamplesPerReport],
                               bool recording);
    void DumpSensorReport() const;

    halvex::wmr::cWmrImuLink mImuLink;
    // Kept for the object's life: filter resets and new IMU threads keep the clock.
    halvex::wmr::cHeadsetClock mHeadsetClock;
    // Ends a report read that waits for a headset that sends nothing.
    halvex::platform::cHidStopSignal mStopSignal;
    halvex::cRecordRing<halvex::sReportRecord> mImuRawTextRing;
    uint32_t mLastReadError = 0;  // IMU thread only
};
