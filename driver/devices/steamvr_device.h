// The device class for a Lighthouse-tracked headset: head and both controllers.
// The head fuses the optical pose with the headset's IMU stream; controllers and
// an optical-only head pass the optical pose straight through.
#pragma once

#include "devices/device_base.h"
#include "fusion/fusion_filter.h"
#include "recording/record_ring.h"
#include "recording/records.h"

#include <Eigen/Geometry>

#include <atomic>
#include <mutex>
#include <thread>

class alignas(64) cHalvexSteamvrDevice : public cHalvexDevice_Base {
public:
    cHalvexSteamvrDevice(cHalvexDeviceProvider* provider, eSemantic semantic, const std::string& serial);
    ~cHalvexSteamvrDevice() override;

    vr::EVRInitError Activate(uint32_t unObjectId) override;
    void Deactivate() override;
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

private:
    // deviceIndex: the index this activation was given, for the recording's file names.
    void ThreadProc_ImuThread(uint32_t deviceIndex);
    bool DeriveImuPath();
    bool FormatImuPath(const char* format, const char* part);
    bool OpenImuStream();
    void ReadImuCalibration();
    void ProcessImuSamples();
    void CheckStaleness(double now);
    void ThreadProc_RecordThread(uint32_t deviceIndex);
    void RecordUntilStopped(uint32_t deviceIndex);
    // Scales a finite sample and feeds it to the filter; AddImuSample's result.
    bool FeedImuSample(const vr::ImuSample_t& sample);
    void StopRecordThread();
    void PushFilterRecord(double driverTime, int32_t rowType);
    // Hands the pose to the runtime unless its orientation is unusable.
    bool SubmitCheckedPose(const vr::DriverPose_t& pose);

    Eigen::Isometry3d mImuToHead = Eigen::Isometry3d::Identity();
    Eigen::Isometry3d mHeadToImu = Eigen::Isometry3d::Identity();
    Eigen::Vector3d mFactoryGyroBias = Eigen::Vector3d::Zero();
    Eigen::Vector3d mFactoryGyroScale = Eigen::Vector3d::Ones();
    Eigen::Vector3d mFactoryAccelBias = Eigen::Vector3d::Zero();
    Eigen::Vector3d mFactoryAccelScale = Eigen::Vector3d::Ones();
    Eigen::Quaterniond mAlignment{0.0, 0.0, 1.0, 0.0};  // w, x, y, z: half turn about y
    vr::IOBufferHandle_t mImuBuffer = vr::k_ulInvalidIOBufferHandle;
    char mImuPath[256] = {};
    // Shared by the frame thread and the IMU thread.
    std::atomic<double> mLastImuSampleTime{0.0};
    std::atomic<double> mLastOpticalSampleTime{0.0};
    std::atomic<double> mLastPoseTime{0.0};
    halvex::sFusionFilterParams mFusionParams{0.1, 0.01, 1e-8, 1e-8};
    halvex::cFusionFilter mFusionFilter;
    std::mutex mFilterMutex;  // guards mFusionFilter; taken before mPoseMutex
    std::atomic<bool> mRecording{false};  // set by Activate, read on the frame and IMU threads
    std::thread mRecordThread;
    std::atomic<bool> mStopRecordThread{false};
    halvex::cRecordRing<halvex::sRawRecord> mImuRawRing;
    halvex::cRecordRing<halvex::sRawRecord> mOpticalRawRing;
    halvex::cRecordRing<halvex::sFilterRecord> mFilterRing;
    // Poses and samples held back because their orientation or position was unusable.
    std::atomic<uint32_t> mDroppedInvalidPoses{0};
    // IMU samples with a non-finite time or reading: never fed to the filter.
    uint32_t mDroppedImuSamples = 0;  // IMU thread only
};
