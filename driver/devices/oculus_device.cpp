#include "devices/oculus_device.h"

#include "core/device_provider.h"
#include "core/driver_log.h"

#include <algorithm>

cHalvexOculusDevice::cHalvexOculusDevice(cHalvexDeviceProvider* provider, eSemantic semantic,
                                         const std::string& serial)
    : cHalvexDevice_Base(provider, semantic, serial, "-o") {
    LogCommonConstructionLines(provider);
}

cHalvexOculusDevice::~cHalvexOculusDevice() {
    DriverLog("%s mRigidBodyID=%d Shutdown", mName.c_str(), GetRigidBodyId());
    mDeviceIndex.store(vr::k_unTrackedDeviceIndexInvalid);
    StopImuThread();
}

vr::EVRInitError cHalvexOculusDevice::Activate(uint32_t unObjectId) {
    ActivateCommon(unObjectId, "Activating Halvex Oculus Device\n", false);
    StartIpcThread();
    return vr::VRInitError_None;
}

void cHalvexOculusDevice::Deactivate() {
    mDeviceIndex.store(vr::k_unTrackedDeviceIndexInvalid);
    StopImuThread();
}

vr::DriverPose_t cHalvexOculusDevice::GetPose() {
    DriverLog("cHalvexOculusDevice::GetPose() called");
    return cHalvexDevice_Base::GetPose();
}

void cHalvexOculusDevice::UpdateOptical(const double position[3], const double /*orientation*/[4], double sampleTime,
                                        double latency) {
    // Position and validity only; the headset's orientation goes out with its own samples.
    std::lock_guard<std::mutex> lock(mPoseMutex);
    mLastOpticalSampleTime = sampleTime;
    for (int i = 0; i < 3; ++i) mPose.vecPosition[i] = position[i];
    mPose.poseIsValid = true;
    mPose.result = vr::TrackingResult_Running_OK;
    if (mCorrectionEnabled) mClockOffset = std::min(mClockOffset, sampleTime + latency - mLastImuSampleTime);
}

void cHalvexOculusDevice::StartIpcThread() {
    // Seam: the shared-memory IPC thread (child program, ring reader) is not built yet.
}
