#include "devices/fused_device.h"

#include "core/device_provider.h"
#include "core/driver_log.h"
#include "devices/pose_validity.h"
#include "fusion/filter_plausibility.h"

#include <algorithm>
#include <cmath>

namespace {

// Process-wide per class; they only decide which calls log.
struct sCallCounters {
    std::atomic<int32_t> updateOptical{0};
    std::atomic<int32_t> inactiveOptical{0};
    std::atomic<int32_t> fusionOptical{0};
    std::atomic<int32_t> directOptical{0};
    std::atomic<int32_t> updateInertial{0};
    std::atomic<int32_t> sensorFusion{0};
};
sCallCounters gLighthouseCounters;
sCallCounters gWmrCounters;

int32_t Count(std::atomic<int32_t>& counter) { return counter.fetch_add(1, std::memory_order_relaxed) + 1; }

bool EveryHundredth(int32_t count) { return count % 100 == 0; }

bool PositionIsUsable(const double v[3]) { return std::isfinite(v[0]) && std::isfinite(v[1]) && std::isfinite(v[2]); }

// The gyroscope rate of the filter's newest IMU sample less its bias estimate, in the
// IMU frame that the reported pose describes. The filter must hold a sample.
Eigen::Vector3d NewestBodyRate(const halvex::cFusionFilter& filter) {
    return filter.BufferedRecord(0).gyroscope - filter.mState.segment<3>(halvex::FusionState_GyroBias);
}

}  // namespace

cHalvexFusedDevice::cHalvexFusedDevice(cHalvexDeviceProvider* provider, eSemantic semantic, const std::string& serial,
                                       eFusedDeviceFamily family, const halvex::sFusionFilterParams& fusionParams)
    : cHalvexDevice_Base(provider, semantic, serial, family == eFusedDeviceFamily::Wmr ? "-w" : "-s"),
      mNewestCalibration(provider && semantic <= ControllerB ? provider->mCalibrations[semantic]
                                                             : halvex::sDeviceCalibration{}),
      mCalibration(mNewestCalibration.Get()),
      mFusionParams(fusionParams),
      mFusionFilter(fusionParams),
      mRecorder([this](uint32_t deviceIndex, double recordFrom,
                       const std::atomic<bool>& stop) { RecordUntilStopped(deviceIndex, recordFrom, stop); },
                [this] { return DriverTimeNow(); }),
      mFamily(family) {
    mDevicePath = MakeDevicePath(serial);
}

const char* cHalvexFusedDevice::ClassLogName() const {
    return mFamily == eFusedDeviceFamily::Wmr ? "HalvexWmrDevice" : "HalvexSteamvrDevice";
}

bool cHalvexFusedDevice::SetRigidBodyId(int32_t id) {
    if (ChangeRigidBodyId(id)) ResetFilter();
    return true;
}

void cHalvexFusedDevice::UpdateOptical(const double position[3], const double orientation[4], double sampleTime,
                                       double /*latency*/) {
    const bool wmr = mFamily == eFusedDeviceFamily::Wmr;
    sCallCounters& counters = wmr ? gWmrCounters : gLighthouseCounters;
    const int32_t callCount = Count(counters.updateOptical);
    if (DebugLogging() && EveryHundredth(callCount)) {
        if (wmr)
            DriverLog("UpdateOptical: callCount=%d", callCount);
        else
            DriverLog("UpdateOptical: %s callCount=%d", mName.c_str(), callCount);
    }
    if (!IsActive()) {
        const int32_t inactive = Count(counters.inactiveOptical);
        if (DebugLogging() && EveryHundredth(inactive)) {
            if (wmr)
                DriverLog("UpdateOptical sem%d: Early return    mDeviceIndex == vr::k_unTrackedDeviceIndexInvalid callCount=%d",
                          static_cast<int>(mSemantic), inactive);
            else
                DriverLog("UpdateOptical: %s Early return    mDeviceIndex == vr::k_unTrackedDeviceIndexInvalid callCount = %d",
                          mName.c_str(), callCount);
        }
        return;
    }

    const Eigen::Quaterniond received(orientation[3], orientation[0], orientation[1], orientation[2]);
    const Eigen::Vector3d p(position[0], position[1], position[2]);
    const bool recording = mRecorder.Enabled();
    const auto recordAsReceived = [&] {
        mOpticalRawRing.push(halvex::sRawRecord{DriverTimeNow(), sampleTime, 1.0, p.x(), p.y(), p.z(), received.w(),
                                                received.x(), received.y(), received.z()});
    };
    const bool usable = halvex::OrientationIsUsable({received.w(), received.x(), received.y(), received.z()}) &&
                        PositionIsUsable(position) && std::isfinite(sampleTime);
    const bool fusing = usable && mSemantic == Hmd && mProvider->mTrackingType != TrackingType_HalvexOnly;
    // Recorded as received, usable or not: a bad input is what a recording is for. A sample
    // for the filter is stamped once the filter takes it, below, so that the raw file has
    // the order the filter saw and a replay of it gives the same states.
    if (recording && !fusing) recordAsReceived();
    // An all-zero or non-finite sample would poison the filter or the pose: drop it.
    if (!usable) {
        const uint32_t dropped = mDroppedInvalidPoses.fetch_add(1, std::memory_order_relaxed) + 1;
        if (DebugLogging()) DriverLog("%s dropped an optical sample with an invalid pose (%u so far)", mName.c_str(), dropped);
        return;
    }
    Eigen::Isometry3d alignedPose = Eigen::Isometry3d::Identity();
    alignedPose.linear() = (received * mAlignment).toRotationMatrix();
    alignedPose.translation() = p;
    Eigen::Isometry3d imuToHead;
    {
        // An IMU thread may replace the transform once it knows the IMU's calibration.
        std::lock_guard<std::mutex> lock(mPoseMutex);
        imuToHead = mImuToHead;
    }

    if (fusing) {
        std::lock_guard<std::mutex> lock(mFilterMutex);
        const Eigen::Isometry3d imuPose = mCalibration.DeviceFromOptical(alignedPose) * imuToHead;
        const double opticalTime = sampleTime + mCalibration.opticalTimeOffset;
        if (recording) {
            recordAsReceived();
            PushFilterRecord(DriverTimeNow(), halvex::FilterRow_OptPre);
        }
        const int32_t fused = Count(counters.fusionOptical);
        if (DebugLogging() && EveryHundredth(fused))
            DriverLog("sem%d: Add Optical Sample to Sensor Fusion callCount=%d", static_cast<int>(mSemantic), callCount);
        const Eigen::Vector3d imuPosition = imuPose.translation();
        const Eigen::Quaterniond imuOrientation(imuPose.rotation());
        const double filterPosition[3] = {imuPosition.x(), imuPosition.y(), imuPosition.z()};
        const double filterOrientation[4] = {imuOrientation.x(), imuOrientation.y(), imuOrientation.z(),
                                             imuOrientation.w()};
        const double positionVariance =
            mCalibration.opticalPositionVariance > 0.0 ? mCalibration.opticalPositionVariance : wmr ? 0.0001 : 1e-6;
        const double orientationVariance = mCalibration.opticalOrientationVariance > 0.0
                                               ? mCalibration.opticalOrientationVariance
                                               : 0.010000000000000002;
        const halvex::sFilterUpdateResult result = mFusionFilter.AddOpticalSample(
            filterPosition, positionVariance, filterOrientation, orientationVariance, opticalTime, 0.0);
        if (result.status != halvex::FilterUpdate_Refused) mNewestFilterOpticalPosition = imuPosition;
        mLastOpticalSampleTime.store(opticalTime);
        if (recording) PushFilterRecord(DriverTimeNow(), halvex::FilterRow_OptPost);
        return;
    }

    const int32_t direct = Count(counters.directOptical);
    if (wmr) {
        if (DebugLogging()) DriverLog("sem%d: Update pose from Optical Sample", static_cast<int>(mSemantic));
    } else if (DebugLogging() && EveryHundredth(direct)) {
        DriverLog("sem%d: Update pose from Optical Sample callCount=%d", static_cast<int>(mSemantic), callCount);
    }
    const halvex::sDeviceCalibration calibration = mNewestCalibration.Get();
    SubmitPoseUpdateOpticalDirect(calibration.DeviceFromOptical(alignedPose) * imuToHead,
                                  sampleTime + calibration.opticalTimeOffset);
}

bool cHalvexFusedDevice::SubmitPoseUpdateOpticalDirect(const Eigen::Isometry3d& transform, double sampleTime) {
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
    if (mFamily == eFusedDeviceFamily::Wmr && DebugLogging())
        DriverLog("sem%d: UpdateInertial called", static_cast<int>(mSemantic));
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

void cHalvexFusedDevice::UpdateInertial(const Eigen::Quaterniond& orientation, double time,
                                        const Eigen::Vector3d& angularVelocity) {
    sCallCounters& counters = mFamily == eFusedDeviceFamily::Wmr ? gWmrCounters : gLighthouseCounters;
    const int32_t calls = Count(counters.updateInertial);
    if (DebugLogging() && EveryHundredth(calls)) DriverLog("UpdateInertial: %s callCount=%d", mName.c_str(), calls);
    std::lock_guard<std::mutex> lock(mPoseMutex);
    mPose.qRotation = {orientation.w(), orientation.x(), orientation.y(), orientation.z()};
    for (int i = 0; i < 3; ++i) mPose.vecAngularVelocity[i] = angularVelocity[i];
    if (IsActive()) SubmitCheckedPose(mPose);
    if (time > 0.0) mLastImuSampleTime.store(time);
}

bool cHalvexFusedDevice::SubmitPoseUpdateSensorFusion() {
    const bool wmr = mFamily == eFusedDeviceFamily::Wmr;
    const int32_t calls = Count(wmr ? gWmrCounters.sensorFusion : gLighthouseCounters.sensorFusion);
    if (!IsActive()) {
        if (wmr && DebugLogging())
            DriverLog("SubmitPoseUpdateSensorFusion Early return mDeviceIndex == vr::k_unTrackedDeviceIndexInvalid");
        else if (!wmr && DebugLogging() && EveryHundredth(calls))
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
        // An impossible state never reaches the pose; the stale check rebuilds the filter.
        if (filter.BufferCount() == 0 || FilterStateIsImpossibleLocked(false)) return false;
        const auto& state = filter.mState;
        const Eigen::Vector3d rate = NewestBodyRate(filter);
        for (int i = 0; i < 3; ++i) {
            mPose.vecPosition[i] = state[i];
            mPose.vecVelocity[i] = state[3 + i];
            mPose.vecAngularVelocity[i] = rate[i];
        }
        mPose.qRotation = {state[6], state[7], state[8], state[9]};
        if (!mPose.poseIsValid)
            DriverLog("%s: %s mRigidBodyId=%d Pose becoming valid", ClassLogName(), mName.c_str(), GetRigidBodyId());
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

void cHalvexFusedDevice::InvalidatePose() {
    if (DebugLogging()) DriverLog("InvalidatePose");
    std::lock_guard<std::mutex> lock(mPoseMutex);
    mPose.poseIsValid = false;
    mPose.result = vr::TrackingResult_Calibrating_InProgress;
    if (IsActive()) SubmitCheckedPose(mPose);
}

void cHalvexFusedDevice::ResetFilter() {
    DriverLog(mFamily == eFusedDeviceFamily::Wmr ? "%s: %s Resetting filter at driver time %1.16lf\n"
                                                 : "%s: %s Resetting filter at driver time %1.16lf",
              ClassLogName(), mName.c_str(), DriverTimeNow());
    mFilterResets.fetch_add(1, std::memory_order_relaxed);
    std::lock_guard<std::mutex> lock(mFilterMutex);
    mFusionFilter = halvex::cFusionFilter(mFusionParams);
    mFilterCalibrationGeneration = mNewestCalibration.Get(mCalibration);
    SeedNewFilter(mFusionFilter);
    // The IMU time of the last submitted pose belongs to the old filter: judged
    // against it, the new one would be stale before it could submit, reset after
    // reset. Until the new filter submits there is no such time.
    mLastImuSampleTime.store(0.0);
    // Under the filter lock, after the swap: a fused pose of the old filter that the
    // IMU thread was about to set would otherwise land after the invalidation.
    InvalidatePose();
}

void cHalvexFusedDevice::SetCalibration(const halvex::sDeviceCalibration& calibration) {
    if (!mNewestCalibration.Set(calibration)) return;
    DriverLog("%s calibration replaced", mName.c_str());
    // Its calibration file was written at the start; a replay of it would part from here.
    if (mRecorder.Running())
        DriverLog("%s calibration replaced during a recording: its file keeps the one it started with", mName.c_str());
}

sDeviceStatus cHalvexFusedDevice::Status() const {
    sDeviceStatus status = cHalvexDevice_Base::Status();
    status.fused = mSemantic == Hmd && mProvider->mTrackingType != TrackingType_HalvexOnly;
    status.knowsSampleTimes = true;
    // A direct pose is dated with its optical sample's time.
    status.lastOpticalTime = status.fused ? mLastOpticalSampleTime.load() : mLastPoseTime.load();
    status.lastImuTime = mLastImuSampleTime.load();
    status.filterResets = mFilterResets.load(std::memory_order_relaxed);
    status.canRecord = true;
    status.recording = mRecorder.Running();
    return status;
}

bool cHalvexFusedDevice::ImuSampleIsUsable(const double accel[3], const double gyro[3], double time) {
    if (PositionIsUsable(accel) && PositionIsUsable(gyro) && std::isfinite(time)) return true;
    const uint32_t dropped = mDroppedImuSamples.fetch_add(1, std::memory_order_relaxed) + 1;
    if (DebugLogging())
        DriverLog("%s dropped an IMU sample with a non-finite time or reading (%u so far)", mName.c_str(), dropped);
    return false;
}

void cHalvexFusedDevice::SubmitFusedPoseOrInvalidate(double now) {
    double lastImuTime;
    double lastOpticalTime;
    {
        std::lock_guard<std::mutex> lock(mFilterMutex);
        lastImuTime = mFusionFilter.mLastImuTime;
        lastOpticalTime = mFusionFilter.mLastOpticalTime;
    }
    if (!(lastImuTime > 0.0 && lastOpticalTime > 0.0)) return;
    const double opticalAge = now - mLastOpticalSampleTime.load();
    const bool holds = mFamily == eFusedDeviceFamily::Wmr ? opticalAge <= mOpticalHoldSeconds
                                                          : opticalAge < mOpticalHoldSeconds;
    if (holds) {
        SubmitPoseUpdateSensorFusion();
        return;
    }
    bool valid;
    {
        std::lock_guard<std::mutex> lock(mPoseMutex);
        valid = mPose.poseIsValid;
    }
    if (valid) InvalidatePose();
}

void cHalvexFusedDevice::CheckStaleness(double now) {
    const bool wmr = mFamily == eFusedDeviceFamily::Wmr;
    std::unique_lock<std::mutex> lock(mFilterMutex);
    if (mFilterCalibrationGeneration != mNewestCalibration.Generation()) {
        lock.unlock();
        DriverLog("%s calibration changed", mName.c_str());
        ResetFilter();
        return;
    }
    if (FilterStateIsImpossibleLocked(true)) {
        lock.unlock();
        ResetFilter();
        return;
    }
    if (!(mFusionFilter.mLastImuTime > 0.0 && mFusionFilter.mLastOpticalTime > 0.0)) return;
    bool stale = false;
    // No IMU time to judge before the filter's first submission (see ResetFilter).
    const double lastSubmittedImuTime = mLastImuSampleTime.load();
    const double imuAge = now - lastSubmittedImuTime;
    if (lastSubmittedImuTime > 0.0 && imuAge > mImuStaleSeconds) {
        if (wmr && DebugLogging(2))
            DriverLog("Stale IMU data at driver time %1.16lf IMU Data %1.16lf delta %1.16lf", now,
                      mFusionFilter.mLastImuTime, imuAge);
        else if (!wmr && DebugLogging())
            DriverLog("Stale IMU data");
        stale = true;
    }
    const double opticalAge = now - mLastOpticalSampleTime.load();
    if (opticalAge > mOpticalStaleSeconds) {
        if (wmr && DebugLogging(2))
            DriverLog("Stale optical data at driver time %1.16lf IMU Data %1.16lf delta %1.16lf", now,
                      mFusionFilter.mLastOpticalTime, opticalAge);
        else if (!wmr && DebugLogging())
            DriverLog("Stale optical data");
        stale = true;
    }
    if (stale) {
        lock.unlock();
        ResetFilter();
    }
}

bool cHalvexFusedDevice::FilterStateIsImpossibleLocked(bool log) {
    using halvex::eFilterImplausibility;
    const halvex::sFilterPlausibilityCheck check =
        halvex::CheckFilterPlausibility(mFusionFilter, mNewestFilterOpticalPosition);
    if (!log) return check.problem != eFilterImplausibility::None;
    switch (check.problem) {
        case eFilterImplausibility::None: return false;
        case eFilterImplausibility::NotFinite: DriverLog("%s filter state is no longer finite", mName.c_str()); break;
        case eFilterImplausibility::NegativeVariance:
            DriverLog("%s filter state is not physical: a variance of %g", mName.c_str(), check.value);
            break;
        case eFilterImplausibility::GravityNorm:
            DriverLog("%s filter state is not physical: gravity of %.3f m/s^2", mName.c_str(), check.value);
            break;
        case eFilterImplausibility::FarFromOptical:
            DriverLog("%s filter state is not physical: %.3f m from the newest optical position", mName.c_str(),
                      check.value);
            break;
    }
    return true;
}

void cHalvexFusedDevice::PushFilterRecord(double driverTime, int32_t rowType) {
    const Eigen::Matrix<double, 18, 1> diagonal = mFusionFilter.mCovariance.diagonal();
    mFilterRing.push(halvex::MakeFilterRecord(driverTime, rowType, mFusionFilter.mState.data(), diagonal.data()));
}

bool cHalvexFusedDevice::SubmitCheckedPose(const vr::DriverPose_t& pose) {
    if (!halvex::PoseIsUsable(pose)) {
        const uint32_t dropped = mDroppedInvalidPoses.fetch_add(1, std::memory_order_relaxed) + 1;
        if (DebugLogging()) DriverLog("%s dropped a pose with an invalid orientation or position (%u so far)", mName.c_str(), dropped);
        return false;
    }
    return SubmitPose(pose);
}
