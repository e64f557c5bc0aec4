#include "devices/wmr_device.h"

#include "core/device_provider.h"
#include "core/driver_log.h"
#include "core/host_interfaces.h"
#include "core/property_access.h"

#include <atomic>

namespace {

std::atomic<int32_t> gConstructed{0};
std::atomic<int32_t> gDestroyed{0};

}  // namespace

cHalvexWmrDevice::cHalvexWmrDevice(cHalvexDeviceProvider* provider, eSemantic semantic, const std::string& serial)
    : cHalvexDevice_Base(provider, semantic, serial, "-w"), mFusionFilter(mFusionParams) {
    mImuStaleSeconds = 0.35;
    mOpticalHoldSeconds = 2.0;
    mOpticalStaleSeconds = 2.5;
    mDevicePath = MakeDevicePath(serial);
    const int32_t constructed = gConstructed.fetch_add(1) + 1;
    DriverLog("Start object counts %d/%d semantic %d", constructed, gDestroyed.load(), static_cast<int>(semantic));

    const Eigen::Quaterniond alignment = mAlignment.normalized();
    mPose.qWorldFromDriverRotation = {alignment.w(), alignment.x(), alignment.y(), alignment.z()};
    mPose.shouldApplyHeadModel = false;
    switch (semantic) {
        case Hmd: {
            DriverLog("cHalvexWmrDevice: Hmd");
            mPose.qDriverFromHeadRotation = {1.0, 0.0, 0.0, 0.0};
            const Eigen::Vector3d translation = mHeadToImu.translation();
            for (int i = 0; i < 3; ++i) mPose.vecDriverFromHeadTranslation[i] = translation[i];
            break;
        }
        case ControllerA:
        case ControllerB:
            DriverLog(semantic == ControllerA ? "cHalvexWmrDevice: ControllerA" : "cHalvexWmrDevice: ControllerB");
            mPose.qDriverFromHeadRotation = {0.9238795, 0.3826834, 0.0, 0.0};
            mPose.vecDriverFromHeadTranslation[0] = 0.0;
            mPose.vecDriverFromHeadTranslation[1] = 0.04;
            mPose.vecDriverFromHeadTranslation[2] = -0.05;
            break;
        default:
            DriverLog("cHalvexWmrDevice: Unknown controller type");
            break;
    }
    DriverLog("%s mRigidBodyID=%d Start", mName.c_str(), GetRigidBodyId());
    LogCommonConstructionLines(provider);
}

cHalvexWmrDevice::~cHalvexWmrDevice() {
    const int32_t destroyed = gDestroyed.fetch_add(1) + 1;
    DriverLog("Destroy object counts %d/%d semantic %d", gConstructed.load(), destroyed, static_cast<int>(mSemantic));
    DriverLog("%s mRigidBodyID=%d Shutdown", mName.c_str(), GetRigidBodyId());
    mDeviceIndex.store(vr::k_unTrackedDeviceIndexInvalid);
    StopImuThread();
}

vr::EVRInitError cHalvexWmrDevice::Activate(uint32_t unObjectId) {
    ActivateCommon(unObjectId, "Activating Halvex WMR Device", true);
    if (mSemantic == Hmd) {
        // The headset the runtime tracks itself carries our universe and chaperone too.
        vr::IVRProperties* properties = halvex::host::Properties();
        const vr::PropertyContainerHandle_t hmd =
            properties ? properties->TrackedDeviceToPropertyContainer(vr::k_unTrackedDeviceIndex_Hmd)
                       : vr::k_ulInvalidPropertyContainer;
        halvex::properties::WriteUint64(hmd, vr::Prop_CurrentUniverseId_Uint64, kHalvexUniverseId);
        halvex::properties::WriteString(hmd, vr::Prop_DriverProvidedChaperonePath_String,
                                        "{halvex}/chaperone_info.vrchap");
    }
    mRecording = mProvider->mRecordRawData;
    if (DebugLogging()) DriverLog("HalvexWmrDevice: Activate: call cHalvexWmrDevice::ThreadProc_ImuThread");
    StartImuThreadSeam();
    return vr::VRInitError_None;
}

void cHalvexWmrDevice::Deactivate() {
    mDeviceIndex.store(vr::k_unTrackedDeviceIndexInvalid);
    StopImuThread();
}

bool cHalvexWmrDevice::SetRigidBodyId(int32_t id) {
    if (ChangeRigidBodyId(id)) ResetFilter();
    return true;
}

void cHalvexWmrDevice::ResetFilter() {
    DriverLog("HalvexWmrDevice: %s Resetting filter at driver time %1.16lf\n", mName.c_str(), DriverTimeNow());
    {
        std::lock_guard<std::mutex> lock(mPoseMutex);
        mPose.poseIsValid = false;
        mPose.result = vr::TrackingResult_Calibrating_InProgress;
        if (IsActive()) SubmitPose(mPose);
    }
    std::lock_guard<std::mutex> lock(mFilterMutex);
    mFusionFilter = halvex::cFusionFilter(mFusionParams);
}

void cHalvexWmrDevice::UpdateOptical(const double /*position*/[3], const double /*orientation*/[4],
                                     double /*sampleTime*/, double /*latency*/) {
    // Seam: the WMR optical path arrives with the HID reader; until then no pose is made here.
}

void cHalvexWmrDevice::StartImuThreadSeam() {}
