// What the Lighthouse and WMR device classes share: a head that fuses its optical
// pose with the headset's IMU in a cFusionFilter, controllers (and an optical-only
// head) that pass the optical pose straight through, the fused submission, the
// stale-data checks, pose invalidation and filter reset, and the recording of raw
// samples and filter states. The two differ in where IMU samples come from (their
// own worker threads), in a few constants and in the wording of some log lines.
#pragma once

#include "devices/calibration_snapshot.h"
#include "devices/device_base.h"
#include "devices/device_recorder.h"
#include "fusion/fusion_filter.h"
#include "recording/device_calibration.h"
#include "recording/record_ring.h"
#include "recording/recording_loop.h"
#include "recording/records.h"

#include <Eigen/Geometry>

#include <atomic>
#include <mutex>
#include <thread>

enum class eFusedDeviceFamily { Lighthouse, Wmr };

class alignas(64) cHalvexFusedDevice : public cHalvexDevice_Base {
public:
    bool SetRigidBodyId(int32_t id) override;
    void UpdateOptical(const double position[3], const double orientation[4], double sampleTime,
                       double latency) override;

    // A time above 0 becomes the newest IMU sample time; the angular velocity is in the
    // pose's own (co-moving) frame.
    void UpdateInertial(const Eigen::Quaterniond& orientation, double time,
                        const Eigen::Vector3d& angularVelocity = Eigen::Vector3d::Zero());
    bool SubmitPoseUpdateSensorFusion();
    bool SubmitPoseUpdateOpticalDirect(const Eigen::Isometry3d& transform, double sampleTime);
    void InvalidatePose();
    void ResetFilter();

    sDeviceStatus Status() const override;
    bool SetRecording(bool on, std::string& why) override;
    std::string RawDataFile() const override;
    halvex::sDeviceCalibration Calibration() const override { return mNewestCalibration.Get(); }
    // The direct path applies it from its next sample; the filter is reset onto it by the IMU thread.
    void SetCalibration(const halvex::sDeviceCalibration& calibration) override;

protected:
    cHalvexFusedDevice(cHalvexDeviceProvider* provider, eSemantic semantic, const std::string& serial,
                       eFusedDeviceFamily family, const halvex::sFusionFilterParams& fusionParams);

    // Seeds a freshly built filter (the Lighthouse class: its factory biases).
    virtual void SeedNewFilter(halvex::cFusionFilter& /*filter*/) {}
    // Adds what only this class records to the recording set-up.
    virtual void CompleteRecordingSetup(halvex::sRecordingSetup& /*setup*/) {}

    // A sample with a non-finite value never reaches the filter: counted, logged at debug level.
    bool ImuSampleIsUsable(const double accel[3], const double gyro[3], double time);
    // After a batch of IMU samples: the fused pose while the optical data holds,
    // otherwise the pose is invalidated once.
    void SubmitFusedPoseOrInvalidate(double now);
    // Resets the filter when IMU or optical data went stale or the calibration changed.
    void CheckStaleness(double now);
    void PushFilterRecord(double driverTime, int32_t rowType);
    // deviceIndex: the activation's own index, which names the files. Does nothing
    // while a recording thread runs.
    void StartRecordThread(uint32_t deviceIndex);
    void StopRecordThread();

    // The newest calibration of this slot, as the settings give it.
    halvex::cCalibrationSnapshot mNewestCalibration;
    // The calibration the filter was built under, and its generation in mNewestCalibration;
    // guarded by mFilterMutex. Every sample the filter takes is corrected with it, so
    // that one filter never mixes two calibrations.
    halvex::sDeviceCalibration mCalibration;
    uint32_t mFilterCalibrationGeneration = 0;
    Eigen::Isometry3d mImuToHead = Eigen::Isometry3d::Identity();
    Eigen::Isometry3d mHeadToImu = Eigen::Isometry3d::Identity();
    Eigen::Quaterniond mAlignment{0.0, 0.0, 1.0, 0.0};  // w, x, y, z: half turn about y
    // Shared by the frame thread and the IMU thread.
    std::atomic<double> mLastImuSampleTime{0.0};
    std::atomic<double> mLastOpticalSampleTime{0.0};
    std::atomic<double> mLastPoseTime{0.0};
    halvex::sFusionFilterParams mFusionParams;
    halvex::cFusionFilter mFusionFilter;
    // The position last handed to mFusionFilter, to judge its state by; guarded by mFilterMutex.
    Eigen::Vector3d mNewestFilterOpticalPosition = Eigen::Vector3d::Zero();
    std::mutex mFilterMutex;  // guards mFusionFilter; taken before mPoseMutex
    std::atomic<uint32_t> mFilterResets{0};
    halvex::cRecordRing<halvex::sRawRecord> mImuRawRing;
    halvex::cRecordRing<halvex::sRawRecord> mOpticalRawRing;
    halvex::cRecordRing<halvex::sFilterRecord> mFilterRing;
    // Enabled at Activate, read by the frame and IMU threads; after the rings it drains.
    halvex::cDeviceRecorder mRecorder;

private:
    // Logs why the filter's state is impossible; false when it is sound. Filter mutex held.
    bool FilterStateIsImpossibleLocked(bool log);
    // Hands the pose to the runtime unless its orientation is unusable.
    bool SubmitCheckedPose(const vr::DriverPose_t& pose);
    void RecordUntilStopped(uint32_t deviceIndex, double recordFrom, const std::atomic<bool>& stop);
    const char* ClassLogName() const;

    const eFusedDeviceFamily mFamily;
    // Poses and samples held back because a value was unusable.
    std::atomic<uint32_t> mDroppedInvalidPoses{0};
    std::atomic<uint32_t> mDroppedImuSamples{0};
};
