#include "devices/device_base.h"

#include "core/device_provider.h"
#include "core/driver_log.h"
#include "core/host_interfaces.h"
#include "core/property_access.h"
#include "devices/pose_validity.h"
#include "requests/request_protocol.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

const vr::DriverPose_t sDefaultPose = [] {
    vr::DriverPose_t pose{};
    pose.poseTimeOffset = -0.001;
    pose.qWorldFromDriverRotation = {0.0, 0.0, 1.0, 0.0};
    pose.qDriverFromHeadRotation = {1.0, 0.0, 0.0, 0.0};
    pose.qRotation = {1.0, 0.0, 0.0, 0.0};
    pose.result = vr::TrackingResult_Calibrating_InProgress;
    pose.poseIsValid = false;
    pose.willDriftInYaw = false;
    pose.shouldApplyHeadModel = false;
    pose.deviceIsConnected = true;
    return pose;
}();

std::string MakeDevicePath(const std::string& serial) {
    char path[128];
    std::snprintf(path, sizeof(path), "/devices/%s/%s", "halvex", serial.c_str());
    return path;
}

void LogCommonConstructionLines(const cHalvexDeviceProvider* provider) {
    const int32_t debugLevel = provider->mDebugLevel.load();
    if (debugLevel > 0) DriverLog("DebugLevel = %d", debugLevel);
    if (provider->mRecordRawData) DriverLog("Recording Raw Data");
}

cHalvexDevice_Base::cHalvexDevice_Base(cHalvexDeviceProvider* provider, eSemantic semantic,
                                       const std::string& serial, const char* nameSuffix)
    : mProvider(provider),
      mDebugLevel(provider->mDebugLevel),
      mSemantic(semantic),
      mSerialNumber(serial),
      mName(serial + nameSuffix),
      mPose(sDefaultPose) {}

vr::DriverPose_t cHalvexDevice_Base::GetPose() {
    vr::DriverPose_t pose;
    {
        std::lock_guard<std::mutex> lock(mPoseMutex);
        pose = mPose;
    }
    // Whatever path wrote it, a pose with a NaN in it is never handed out as valid.
    if (pose.poseIsValid && !halvex::PoseIsUsable(pose)) {
        pose.poseIsValid = false;
        pose.result = vr::TrackingResult_Calibrating_InProgress;
    }
    return pose;
}

void* cHalvexDevice_Base::GetComponent(const char* /*pchComponentNameAndVersion*/) { return nullptr; }

void cHalvexDevice_Base::DebugRequest(const char* pchRequest, char* pchResponseBuffer, uint32_t unResponseBufferSize) {
    DriverLog("DebugRequest (%s): '%s'\n", GetSerialNumber().c_str(), pchRequest ? pchRequest : "");
    halvex::requests::WriteAnswer(mProvider->AnswerRequest(pchRequest), pchResponseBuffer, unResponseBufferSize);
}

sDeviceStatus cHalvexDevice_Base::Status() const {
    sDeviceStatus status;
    status.active = IsActive();
    status.poseValid = status.active && mLastSubmittedPoseValid.load(std::memory_order_relaxed);
    return status;
}

bool cHalvexDevice_Base::SetRigidBodyId(int32_t id) {
    mRigidBodyID.store(id, std::memory_order_release);
    return true;
}

bool cHalvexDevice_Base::ChangeRigidBodyId(int32_t id) {
    const int32_t previous = mRigidBodyID.exchange(id, std::memory_order_acq_rel);
    if (id == previous) return false;
    // Under the pose lock: the runtime thread may be copying the pose right now.
    std::lock_guard<std::mutex> lock(mPoseMutex);
    mPose.deviceIsConnected = id != kRigidBodyNone;
    return true;
}

bool cHalvexDevice_Base::DebugLogging(int32_t level) const { return mProvider->mDebugLevel >= level; }

double cHalvexDevice_Base::DriverTimeNow() const { return mProvider->DriverTimeNow(); }

void cHalvexDevice_Base::ActivateCommon(uint32_t unObjectId, const char* activationLine, bool withUniverse) {
    DriverLog("%s", activationLine);
    mDeviceIndex.store(unObjectId, std::memory_order_release);
    vr::IVRProperties* properties = halvex::host::Properties();
    mPropertyContainer = properties ? properties->TrackedDeviceToPropertyContainer(unObjectId)
                                    : vr::k_ulInvalidPropertyContainer;
    const vr::PropertyContainerHandle_t container = mPropertyContainer;
    using namespace halvex::properties;
    WriteString(container, vr::Prop_TrackingSystemName_String, "Halvex");
    WriteString(container, vr::Prop_ModelNumber_String, "Halvex1.0");
    WriteString(container, vr::Prop_SerialNumber_String, mSerialNumber.c_str());
    WriteString(container, vr::Prop_RenderModelName_String, "HalvexRigidBody");
    WriteString(container, vr::Prop_InputProfilePath_String, "{halvex}/input/halvex_rigid_body_profile.json");
    if (withUniverse) {
        WriteString(container, vr::Prop_DriverProvidedChaperonePath_String, "{halvex}/chaperone_info.vrchap");
        WriteUint64(container, vr::Prop_CurrentUniverseId_Uint64, kHalvexUniverseId);
    }
}

bool cHalvexDevice_Base::SubmitPose(const vr::DriverPose_t& pose) const {
    const uint32_t deviceIndex = mDeviceIndex.load(std::memory_order_acquire);
    if (deviceIndex == vr::k_unTrackedDeviceIndexInvalid) return false;
    vr::IVRServerDriverHost* host = halvex::host::ServerDriverHost();
    if (!host) {
        DriverLog("ERROR: vr::VRServerDriverHost() null");
        return false;
    }
    mLastSubmittedPoseValid.store(pose.poseIsValid && halvex::PoseIsUsable(pose), std::memory_order_relaxed);
    host->TrackedDevicePoseUpdated(deviceIndex, pose, sizeof(vr::DriverPose_t));
    return true;
}

Eigen::Vector3d cHalvexDevice_Base::DirectPathAngularVelocity(const Eigen::Vector3d& newestRate, double newestTime,
                                                              double now) const {
    if (!mProvider->mPredictDirectPoses || !(newestTime > 0.0)) return Eigen::Vector3d::Zero();
    // The rate of a stream that went quiet would spin the pose on and on.
    if (now - newestTime > mImuStaleSeconds || !newestRate.allFinite()) return Eigen::Vector3d::Zero();
    return newestRate;
}

void cHalvexDevice_Base::ApplyDirectSampleLocked(const Eigen::Vector3d& position, double sampleTime,
                                                 double previousSampleTime, const Eigen::Vector3d& angularVelocity) {
    const double dt = sampleTime - previousSampleTime;
    // Before the first direct sample there is no previous position to difference with.
    if (previousSampleTime > 0.0 && dt > 1e-5) {
        for (int i = 0; i < 3; ++i) mPose.vecVelocity[i] = (position[i] - mPose.vecPosition[i]) / dt;
    }
    for (int i = 0; i < 3; ++i) {
        mPose.vecPosition[i] = position[i];
        mPose.vecAngularVelocity[i] = angularVelocity[i];
    }
    mPose.poseIsValid = true;
    mPose.result = vr::TrackingResult_Running_OK;
    mPose.poseTimeOffset = sampleTime - DriverTimeNow();
    mPose.deviceIsConnected = GetRigidBodyId() != kRigidBodyNone;
}

void cHalvexDevice_Base::StopImuThread() {
    if (mImuThread.joinable()) {
        mStopImuThread.exchange(true);
        WakeImuThread();
        mImuThread.join();
    }
}

void* cHalvexDevice_Base::operator new(std::size_t size) {
    void* memory = ::operator new(size);
    std::memset(memory, 0, size);
    return memory;
}

void* cHalvexDevice_Base::operator new(std::size_t size, std::align_val_t alignment) {
    void* memory = ::operator new(size, alignment);
    std::memset(memory, 0, size);
    return memory;
}

void cHalvexDevice_Base::operator delete(void* memory) noexcept { ::operator delete(memory); }

void cHalvexDevice_Base::operator delete(void* memory, std::align_val_t alignment) noexcept {
    ::operator delete(memory, alignment);
}
