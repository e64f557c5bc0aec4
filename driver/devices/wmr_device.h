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

    // deviceIndex: the index this activation was given, for the recording's file names.
    void ThreadProc_ImuThread(uint32_t deviceIndex);
    // One report: true when it was a sensor report (whatever became of its samples).
    bool PollImu_ImuThread();
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
};
