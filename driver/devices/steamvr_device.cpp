#include "devices/steamvr_device.h"

#include "core/callback_boundary.h"
#include "core/device_provider.h"
#include "core/driver_log.h"
#include "core/host_interfaces.h"
#include "devices/pose_validity.h"
#include "platform/thread_priority.h"

#include <cmath>

namespace {

// Process-wide; they only decide which calls log.
std::atomic<int32_t> gConstructed{0};
std::atomic<int32_t> gDestroyed{0};
std::atomic<int32_t> gUpdateOpticalCalls{0};
std::atomic<int32_t> gInactiveOpticalCalls{0};
std::atomic<int32_t> gFusionOpticalSamples{0};
std::atomic<int32_t> gDirectOpticalSamples{0};
std::atomic<int32_t> gUpdateInertialCalls{0};
std::atomic<int32_t> gSensorFusionCalls{0};

halvex::cCallbackBoundary gActivateBoundary("Activate of a Lighthouse device");
halvex::cCallbackBoundary gImuThreadBoundary("a Lighthouse device's IMU thread");

int32_t Count(std::atomic<int32_t>& counter) { return counter.fetch_add(1, std::memory_order_relaxed) + 1; }

bool EveryHundredth(int32_t count) { return count % 100 == 0; }

// The controllers' IMU sits ahead of and below the grip until the stream tells otherwise.
const vr::HmdQuaternion_t kControllerDriverFromHeadRotation = {0.9238795, 0.3826834, 0.0, 0.0};
const vr::HmdVector3d_t kControllerDriverFromHeadTranslation = {{0.0, 0.04, -0.05}};

bool PositionIsUsable(const double v[3]) { return std::isfinite(v[0]) && std::isfinite(v[1]) && std::isfinite(v[2]); }

// The gyroscope rate of the filter's newest IMU sample less its bias estimate, in the
// IMU frame that the reported pose describes. The filter must hold a sample.
Eigen::Vector3d NewestBodyRate(const halvex::cFusionFilter& filter) {
    return filter.BufferedRecord(0).gyroscope - filter.mState.segment<3>(halvex::FusionState_GyroBias);
}

}  // namespace

cHalvexSteamvrDevice::cHalvexSteamvrDevice(cHalvexDeviceProvider* provider, eSemantic semantic,
                                           const std::string& serial)
    : cHalvexDevice_Base(provider, semantic, serial, "-s"), mFusionFilter(mFusionParams) {
    mDevicePath = MakeDevicePath(serial);
    const int32_t constructed = Count(gConstructed);
    DriverLog("Start object counts %d/%d semantic %d", constructed, gDestroyed.load(), static_cast<int>(semantic));

    mPose = sDefaultPose;
    mPose.qWorldFromDriverRotation = {mAlignment.w(), mAlignment.x(), mAlignment.y(), mAlignment.z()};
    switch (semantic) {
        case Hmd: {
            DriverLog("cHalvexSteamvrDevice: Hmd");
            const Eigen::Quaterniond rotation(mHeadToImu.rotation());
            mPose.qDriverFromHeadRotation = {rotation.w(), rotation.x(), rotation.y(), rotation.z()};
            const Eigen::Vector3d translation = mHeadToImu.translation();
            mPose.vecDriverFromHeadTranslation[0] = translation.x();
            mPose.vecDriverFromHeadTranslation[1] = translation.y();
            mPose.vecDriverFromHeadTranslation[2] = translation.z();
            break;
        }
        case ControllerA:
        case ControllerB:
            DriverLog(semantic == ControllerA ? "cHalvexSteamvrDevice: ControllerA" : "cHalvexSteamvrDevice: ControllerB");
            mPose.qDriverFromHeadRotation = kControllerDriverFromHeadRotation;
            for (int i = 0; i < 3; ++i) mPose.vecDriverFromHeadTranslation[i] = kControllerDriverFromHeadTranslation.v[i];
            break;
        default:
            DriverLog("cHalvexSteamvrDevice: Unknown controller type");
            break;
    }
    DriverLog("%s mRigidBodyID=%d Start", mName.c_str(), GetRigidBodyId());
    LogCommonConstructionLines(provider);
}

cHalvexSteamvrDevice::~cHalvexSteamvrDevice() {
    const int32_t destroyed = Count(gDestroyed);
    DriverLog("Destroy object counts %d/%d semantic %d", gConstructed.load(), destroyed, static_cast<int>(mSemantic));
    DriverLog("%s mRigidBodyID=%d Shutdown", mName.c_str(), GetRigidBodyId());
    // Threads must be gone before the members they use.
    mDeviceIndex.store(vr::k_unTrackedDeviceIndexInvalid);
    StopImuThread();
    StopRecordThread();
}

vr::EVRInitError cHalvexSteamvrDevice::Activate(uint32_t unObjectId) {
    vr::EVRInitError result = vr::VRInitError_Driver_Failed;
    gActivateBoundary.Run([&] {
        // Activated twice without Deactivate: a second thread must not replace a running one.
        Deactivate();
        ActivateCommon(unObjectId, "Activating Halvex SteamVR Device", true);
        mRecording.store(mProvider->mRecordRawData);
        if (DebugLogging()) DriverLog("HalvexSteamVRDevice: Activate: call cHalvexSteamVRDevice::ThreadProc_ImuThread");
        StartImuThread([this, unObjectId] { gImuThreadBoundary.Run([&] { ThreadProc_ImuThread(unObjectId); }); });
        halvex::platform::SetThreadTimeCritical(mImuThread);
        result = vr::VRInitError_None;
    });
    return result;
}

void cHalvexSteamvrDevice::Deactivate() {
    mDeviceIndex.store(vr::k_unTrackedDeviceIndexInvalid);
    StopImuThread();
    StopRecordThread();
}

void cHalvexSteamvrDevice::StopRecordThread() {
    if (mRecordThread.joinable()) {
        mStopRecordThread.exchange(true);
        mRecordThread.join();
    }
}

bool cHalvexSteamvrDevice::SetRigidBodyId(int32_t id) {
    if (ChangeRigidBodyId(id)) ResetFilter();
    return true;
}

void cHalvexSteamvrDevice::UpdateOptical(const double position[3], const double orientation[4], double sampleTime,
                                         double /*latency*/) {
    const int32_t callCount = Count(gUpdateOpticalCalls);
    if (DebugLogging() && EveryHundredth(callCount))
        DriverLog("UpdateOptical: %s callCount=%d", mName.c_str(), callCount);
    if (!IsActive()) {
        const int32_t inactive = Count(gInactiveOpticalCalls);
        if (DebugLogging() && EveryHundredth(inactive))
            DriverLog("UpdateOptical: %s Early return    mDeviceIndex == vr::k_unTrackedDeviceIndexInvalid callCount = %d",
                      mName.c_str(), callCount);
        return;
    }

    const Eigen::Quaterniond received(orientation[3], orientation[0], orientation[1], orientation[2]);
    const Eigen::Vector3d p(position[0], position[1], position[2]);
    // Recorded as received, unusable or not: a bad input is what a recording is for.
    if (mRecording.load()) {
        mOpticalRawRing.push(halvex::sRawRecord{DriverTimeNow(), sampleTime, 1.0, p.x(), p.y(), p.z(), received.w(),
                                                received.x(), received.y(), received.z()});
    }
    // An all-zero or non-finite sample would poison the filter or the pose: drop it.
    if (!halvex::OrientationIsUsable({received.w(), received.x(), received.y(), received.z()}) ||
        !PositionIsUsable(position) || !std::isfinite(sampleTime)) {
        const uint32_t dropped = mDroppedInvalidPoses.fetch_add(1, std::memory_order_relaxed) + 1;
        if (DebugLogging()) DriverLog("%s dropped an optical sample with an invalid pose (%u so far)", mName.c_str(), dropped);
        return;
    }
    Eigen::Isometry3d opticalPose = Eigen::Isometry3d::Identity();
    opticalPose.linear() = (received * mAlignment).toRotationMatrix();
    opticalPose.translation() = p;
    Eigen::Isometry3d imuToHead;
    {
        // The IMU thread replaces the transform once the stream's calibration is read.
        std::lock_guard<std::mutex> lock(mPoseMutex);
        imuToHead = mImuToHead;
    }
    const Eigen::Isometry3d imuPose = opticalPose * imuToHead;

    if (mSemantic == Hmd && mProvider->mTrackingType != TrackingType_HalvexOnly) {
        std::lock_guard<std::mutex> lock(mFilterMutex);
        const bool recording = mRecording.load();
        if (recording) PushFilterRecord(DriverTimeNow(), 0);
        const int32_t fused = Count(gFusionOpticalSamples);
        if (DebugLogging() && EveryHundredth(fused))
            DriverLog("sem%d: Add Optical Sample to Sensor Fusion callCount=%d", static_cast<int>(mSemantic), callCount);
        const Eigen::Vector3d imuPosition = imuPose.translation();
        const Eigen::Quaterniond imuOrientation(imuPose.rotation());
        const double filterPosition[3] = {imuPosition.x(), imuPosition.y(), imuPosition.z()};
        const double filterOrientation[4] = {imuOrientation.x(), imuOrientation.y(), imuOrientation.z(),
                                             imuOrientation.w()};
        mFusionFilter.AddOpticalSample(filterPosition, 1e-6, filterOrientation, 0.010000000000000002, sampleTime, 0.0);
        mLastOpticalSampleTime.store(sampleTime);
        if (recording) PushFilterRecord(DriverTimeNow(), 1);
        return;
    }

    const int32_t direct = Count(gDirectOpticalSamples);
    if (DebugLogging() && EveryHundredth(direct))
        DriverLog("sem%d: Update pose from Optical Sample callCount=%d", static_cast<int>(mSemantic), callCount);
    SubmitPoseUpdateOpticalDirect(imuPose, sampleTime);
}

bool cHalvexSteamvrDevice::SubmitPoseUpdateOpticalDirect(const Eigen::Isometry3d& transform, double sampleTime) {
    if (DebugLogging()) DriverLog("sem%d: SubmitUpdateOpticalDirect", static_cast<int>(mSemantic));
    if (!IsActive()) {
        if (DebugLogging())
            DriverLog("SubmitPoseUpdateOpticalDirect Early return mDeviceIndex == vr::k_unTrackedDeviceIndexInvalid");
        return false;
    }
    const double previousPoseTime = mLastPoseTime.load();
    if (previousPoseTime >= sampleTime) return false;

    Eigen::Vector3d angularVelocity = Eigen::Vector3d::Zero();
    if (mProvider->mPredictDirectPoses) {
        std::lock_guard<std::mutex> lock(mFilterMutex);
        if (mFusionFilter.BufferCount() > 0) {
            angularVelocity = DirectPathAngularVelocity(NewestBodyRate(mFusionFilter), mFusionFilter.mLastImuTime,
                                                        DriverTimeNow());
        }
    }

    const Eigen::Quaterniond rotation = Eigen::Quaterniond(transform.rotation()).normalized();
    if (DebugLogging()) DriverLog("sem%d: Set Pose rotation from Optical", static_cast<int>(mSemantic));
    UpdateInertial(rotation, 0.0, angularVelocity);

    if (DebugLogging()) DriverLog("sem%d: Set Pose position from Optical", static_cast<int>(mSemantic));
    vr::DriverPose_t pose;
    {
        std::lock_guard<std::mutex> lock(mPoseMutex);
        ApplyDirectSampleLocked(transform.translation(), sampleTime, previousPoseTime, angularVelocity);
        mLastPoseTime.store(sampleTime);
        pose = mPose;
    }
    if (DebugLogging()) DriverLog("SubmitPoseUpdateOpticalDirect: Pose is valid");
    SubmitCheckedPose(pose);
    return true;
}

void cHalvexSteamvrDevice::UpdateInertial(const Eigen::Quaterniond& orientation, double time,
                                          const Eigen::Vector3d& angularVelocity) {
    const int32_t calls = Count(gUpdateInertialCalls);
    if (DebugLogging() && EveryHundredth(calls)) DriverLog("UpdateInertial: %s callCount=%d", mName.c_str(), calls);
    std::lock_guard<std::mutex> lock(mPoseMutex);
    mPose.qRotation = {orientation.w(), orientation.x(), orientation.y(), orientation.z()};
    for (int i = 0; i < 3; ++i) mPose.vecAngularVelocity[i] = angularVelocity[i];
    if (IsActive()) SubmitCheckedPose(mPose);
    if (time > 0.0) mLastImuSampleTime.store(time);
}

bool cHalvexSteamvrDevice::SubmitPoseUpdateSensorFusion() {
    const int32_t calls = Count(gSensorFusionCalls);
    if (!IsActive()) {
        if (DebugLogging() && EveryHundredth(calls))
            DriverLog("SubmitPoseUpdateSensorFusion Early return mDeviceIndex == vr::k_unTrackedDeviceIndexInvalid callCount=%d",
                      calls);
        return false;
    }
    double lastImuTime;
    double lastOpticalTime;
    vr::DriverPose_t pose;
    {
        std::lock_guard<std::mutex> filterLock(mFilterMutex);
        std::lock_guard<std::mutex> poseLock(mPoseMutex);
        const halvex::cFusionFilter& filter = mFusionFilter;
        // A non-finite state never reaches the pose; the IMU thread rebuilds the filter.
        if (filter.BufferCount() == 0 || !filter.IsFinite()) return false;
        const auto& state = filter.mState;
        const Eigen::Vector3d rate = NewestBodyRate(filter);
        for (int i = 0; i < 3; ++i) {
            mPose.vecPosition[i] = state[i];
            mPose.vecVelocity[i] = state[3 + i];
            mPose.vecAngularVelocity[i] = rate[i];
        }
        mPose.qRotation = {state[6], state[7], state[8], state[9]};
        if (!mPose.poseIsValid)
            DriverLog("HalvexSteamvrDevice: %s mRigidBodyId=%d Pose becoming valid", mName.c_str(), GetRigidBodyId());
        mPose.poseIsValid = true;
        mPose.result = vr::TrackingResult_Running_OK;
        mPose.poseTimeOffset = filter.mLastImuTime - DriverTimeNow();
        if (DebugLogging()) DriverLog("SubmitPoseUpdateSensorFusion: Pose is valid");
        lastImuTime = filter.mLastImuTime;
        lastOpticalTime = filter.mLastOpticalTime;
        pose = mPose;
    }
    mLastImuSampleTime.store(lastImuTime);
    mLastOpticalSampleTime.store(lastOpticalTime);
    mLastPoseTime.store(std::max(lastImuTime, lastOpticalTime));
    if (DebugLogging()) DriverLog("SubmitPoseUpdateSensorFusion: Pose is valid");
    SubmitCheckedPose(pose);
    return true;
}

void cHalvexSteamvrDevice::InvalidatePose() {
    if (DebugLogging()) DriverLog("InvalidatePose");
    std::lock_guard<std::mutex> lock(mPoseMutex);
    mPose.poseIsValid = false;
    mPose.result = vr::TrackingResult_Calibrating_InProgress;
    if (IsActive()) SubmitCheckedPose(mPose);
}

void cHalvexSteamvrDevice::ResetFilter() {
    DriverLog("HalvexSteamvrDevice: %s Resetting filter at driver time %1.16lf", mName.c_str(), DriverTimeNow());
    InvalidatePose();
    std::lock_guard<std::mutex> lock(mFilterMutex);
    mFusionFilter = halvex::cFusionFilter(mFusionParams);
    mFusionFilter.SeedBiases(mFactoryAccelBias, mFactoryGyroBias);
    // The IMU time of the last submitted pose belongs to the old filter: judged
    // against it, the new one would be stale before it could submit, reset after
    // reset. Until the new filter submits there is no such time.
    mLastImuSampleTime.store(0.0);
}

void cHalvexSteamvrDevice::PushFilterRecord(double driverTime, int32_t rowType) {
    const Eigen::Matrix<double, 18, 1> diagonal = mFusionFilter.mCovariance.diagonal();
    mFilterRing.push(halvex::MakeFilterRecord(driverTime, rowType, mFusionFilter.mState.data(), diagonal.data()));
}

bool cHalvexSteamvrDevice::SubmitCheckedPose(const vr::DriverPose_t& pose) {
    if (!halvex::PoseIsUsable(pose)) {
        const uint32_t dropped = mDroppedInvalidPoses.fetch_add(1, std::memory_order_relaxed) + 1;
        if (DebugLogging()) DriverLog("%s dropped a pose with an invalid orientation or position (%u so far)", mName.c_str(), dropped);
        return false;
    }
    return SubmitPose(pose);
}
