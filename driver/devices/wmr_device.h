// The device class for a Windows Mixed Reality headset: head and both controllers.
// The head fuses the optical pose with the headset's IMU, read straight from its
// HID sensor interface on an IMU thread of its own.
#pragma once

#include "devices/fused_device.h"
#include "devices/learned_imu_biases.h"
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

    // The biases the head's filter learned, kept per headset from one session to the
    // next (wmr_learned_biases.cpp). Every reset starts from those of the last session.
    void SeedNewFilter(halvex::cFusionFilter& filter) override;
    // At Activate: where this headset's biases are kept and what a session left there.
    void LoadLearnedBiases();
    // Once the IMU thread is gone: what the filter learned, if it learned enough.
    void KeepLearnedBiases();
    // After each report, filter mutex held.
    void NoteLearnedBiasesLocked();

    halvex::wmr::cWmrImuLink mImuLink;
    // Kept for the object's life: filter resets and new IMU threads keep the clock.
    halvex::wmr::cHeadsetClock mHeadsetClock;
    // Ends a report read that waits for a headset that sends nothing.
    halvex::platform::cHidStopSignal mStopSignal;
    halvex::cRecordRing<halvex::sReportRecord> mImuRawTextRing;
    uint32_t mLastReadError = 0;  // IMU thread only
    // Set at Activate, used at Deactivate; empty: nothing to keep.
    std::string mLearnedBiasFile;
    // Guarded by mFilterMutex.
    halvex::sLearnedImuBiases mStoredBiases;
    bool mHasStoredBiases = false;
    halvex::sLearnedImuBiases mLearnedBiases;
    bool mHasLearnedBiases = false;
    uint64_t mFilterCorrectionFingerprint = 0;  // of the correction in force at the filter's reset
    double mFusionStartTime = 0.0;              // IMU time of the filter's first fused report; 0: none yet
};
