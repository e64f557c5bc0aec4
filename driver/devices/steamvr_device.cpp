#include "devices/steamvr_device.h"

#include "core/callback_boundary.h"
#include "core/device_provider.h"
#include "core/driver_log.h"
#include "platform/thread_priority.h"

namespace {

// Process-wide; they only decide which calls log.
std::atomic<int32_t> gConstructed{0};
std::atomic<int32_t> gDestroyed{0};

halvex::cCallbackBoundary gLighthouseActivateBoundary("Activate of a Lighthouse device");
halvex::cCallbackBoundary gImuThreadBoundary("a Lighthouse device's IMU thread");

// The controllers' IMU sits ahead of and below the grip until the stream tells otherwise.
const vr::HmdQuaternion_t kControllerDriverFromHeadRotation = {0.9238795, 0.3826834, 0.0, 0.0};
const vr::HmdVector3d_t kControllerDriverFromHeadTranslation = {{0.0, 0.04, -0.05}};

}  // namespace

cHalvexSteamvrDevice::cHalvexSteamvrDevice(cHalvexDeviceProvider* provider, eSemantic semantic,
                                           const std::string& serial)
    : cHalvexFusedDevice(provider, semantic, serial, eFusedDeviceFamily::Lighthouse, {0.1, 0.01, 1e-8, 1e-8}) {
    const int32_t constructed = gConstructed.fetch_add(1) + 1;
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
    const int32_t destroyed = gDestroyed.fetch_add(1) + 1;
    DriverLog("Destroy object counts %d/%d semantic %d", gConstructed.load(), destroyed, static_cast<int>(mSemantic));
    DriverLog("%s mRigidBodyID=%d Shutdown", mName.c_str(), GetRigidBodyId());
    // Threads must be gone before the members they use.
    mDeviceIndex.store(vr::k_unTrackedDeviceIndexInvalid);
    StopImuThread();
    StopRecordThread();
}

vr::EVRInitError cHalvexSteamvrDevice::Activate(uint32_t unObjectId) {
    vr::EVRInitError result = vr::VRInitError_Driver_Failed;
    gLighthouseActivateBoundary.Run([&] {
        // Activated twice without Deactivate: a second thread must not replace a running one.
        Deactivate();
        ActivateCommon(unObjectId, "Activating Halvex SteamVR Device", true);
        mRecorder.SetEnabled(mProvider->mRecordRawData);
        if (DebugLogging()) DriverLog("HalvexSteamVRDevice: Activate: call cHalvexSteamVRDevice::ThreadProc_ImuThread");
        StartImuThread([this, unObjectId] { gImuThreadBoundary.Run([&] { ThreadProc_ImuThread(unObjectId); }); });
        halvex::platform::SetThreadTimeCritical(mImuThread);
        halvex::platform::NameThread(mImuThread, "halvex-imu");
        result = vr::VRInitError_None;
    });
    return result;
}

void cHalvexSteamvrDevice::Deactivate() {
    mDeviceIndex.store(vr::k_unTrackedDeviceIndexInvalid);
    StopImuThread();
    StopRecordThread();
}

void cHalvexSteamvrDevice::SeedNewFilter(halvex::cFusionFilter& filter) {
    // A calibration has taken its own biases off every sample already.
    if (mCalibration.ImuIsIdentity())
        filter.SeedBiases(mFactoryAccelBias, mFactoryGyroBias);
    else
        filter.SeedBiases(Eigen::Vector3d::Zero(), Eigen::Vector3d::Zero());
}

void cHalvexSteamvrDevice::CompleteRecordingSetup(halvex::sRecordingSetup& setup) {
    setup.header.hasFactoryScales = true;
    for (int i = 0; i < 3; ++i) {
        setup.header.factoryAccelScale[i] = mFactoryAccelScale[i];
        setup.header.factoryGyroScale[i] = mFactoryGyroScale[i];
    }
}
