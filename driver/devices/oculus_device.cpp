#include "devices/oculus_device.h"

#include "core/callback_boundary.h"
#include "core/device_provider.h"
#include "core/driver_log.h"
#include "devices/pose_validity.h"

#include <algorithm>
#include <atomic>
#include <cmath>

namespace {

std::atomic<int32_t> gUpdateInertialCalls{0};
halvex::cCallbackBoundary gActivateBoundary("Activate of an Oculus device");

bool Finite3(const double v[3]) { return std::isfinite(v[0]) && std::isfinite(v[1]) && std::isfinite(v[2]); }

}  // namespace

cHalvexOculusDevice::cHalvexOculusDevice(cHalvexDeviceProvider* provider, eSemantic semantic,
                                         const std::string& serial, halvex::oculus::cOculusLink* link)
    : cHalvexDevice_Base(provider, semantic, serial, "-o"), mLink(link) {
    LogCommonConstructionLines(provider);
}

cHalvexOculusDevice::~cHalvexOculusDevice() {
    DriverLog("%s mRigidBodyID=%d Shutdown", mName.c_str(), GetRigidBodyId());
    if (mAttached) Deactivate();
}

vr::EVRInitError cHalvexOculusDevice::Activate(uint32_t unObjectId) {
    vr::EVRInitError result = vr::VRInitError_Driver_Failed;
    gActivateBoundary.Run([&] {
        ActivateCommon(unObjectId, "Activating Halvex Oculus Device\n", false);
        mLink->Attach(this);
        mAttached = true;
        result = vr::VRInitError_None;
    });
    if (result != vr::VRInitError_None) {
        // Half joined (the reader thread could not start): leave the link and look inactive.
        mDeviceIndex.store(vr::k_unTrackedDeviceIndexInvalid);
        gActivateBoundary.Run([&] { mLink->Detach(this); });
        mAttached = false;
    }
    return result;
}

void cHalvexOculusDevice::Deactivate() {
    mDeviceIndex.store(vr::k_unTrackedDeviceIndexInvalid);
    if (mAttached) mLink->Detach(this);
    mAttached = false;
}

vr::DriverPose_t cHalvexOculusDevice::GetPose() {
    DriverLog("cHalvexOculusDevice::GetPose() called");
    return cHalvexDevice_Base::GetPose();
}

void cHalvexOculusDevice::UpdateOptical(const double position[3], const double orientation[4], double sampleTime,
                                        double latency) {
    // One NaN would stay in the corrector's correction for good: such a sample is dropped whole.
    const bool usable = halvex::OrientationIsUsable({orientation[3], orientation[0], orientation[1], orientation[2]}) &&
                        Finite3(position) && std::isfinite(sampleTime) && std::isfinite(latency);
    if (!usable) {
        const uint32_t dropped = mDroppedOptical.fetch_add(1, std::memory_order_relaxed) + 1;
        if (dropped == 1 || DebugLogging())
            DriverLog("%s dropped an optical sample with an invalid pose (%u so far)\n", mName.c_str(), dropped);
        return;
    }
    // Position and validity only: the pose goes out with the next headset sample.
    std::lock_guard<std::mutex> lock(mPoseMutex);
    mLastOpticalSampleTime = sampleTime;
    for (int i = 0; i < 3; ++i) mPose.vecPosition[i] = position[i];
    mPose.poseIsValid = true;
    mPose.result = vr::TrackingResult_Running_OK;
    if (mCorrectionEnabled) {
        mClockOffset = std::min(mClockOffset, sampleTime + latency - mLastImuSampleTime);
        const Eigen::Quaternionf q(static_cast<float>(orientation[3]), static_cast<float>(orientation[0]),
                                   static_cast<float>(orientation[1]), static_cast<float>(orientation[2]));
        mCorrector.AddOpticalOrientation(q, sampleTime);
    }
}

void cHalvexOculusDevice::UpdateInertial(const double orientation[4], const double angularVelocity[3]) {
    const int32_t callCount = gUpdateInertialCalls.fetch_add(1, std::memory_order_relaxed) + 1;
    const bool logThisCall = callCount % 100 == 0 && DebugLogging();
    if (mProvider->mTrackingType == TrackingType_HalvexOnly) {
        if (logThisCall)
            DriverLog("UpdateInertial: Early return    TrackingType() == TrackingType::TrackingType_HalvexOnly "
                      "callCount=%d",
                      callCount);
        return;
    }
    if (logThisCall) DriverLog("UpdateInertial: %s callCount=%d", mName.c_str(), callCount);
    std::lock_guard<std::mutex> lock(mPoseMutex);
    mPose.qRotation = {orientation[3], orientation[0], orientation[1], orientation[2]};
    for (int i = 0; i < 3; ++i) mPose.vecAngularVelocity[i] = angularVelocity[i];
    if (!halvex::PoseIsUsable(mPose)) {
        const uint32_t dropped = mDroppedPoses.fetch_add(1, std::memory_order_relaxed) + 1;
        if (dropped == 1 || DebugLogging())
            DriverLog("%s dropped a pose with an invalid orientation or position (%u so far)\n", mName.c_str(), dropped);
        return;
    }
    SubmitPose(mPose);
}

void cHalvexOculusDevice::ProcessChildSample(const halvex::oculus::sOculusImuSample& sample, double sampleTime) {
    double clockOffset;
    {
        std::lock_guard<std::mutex> lock(mPoseMutex);
        mLastImuSampleTime = sampleTime;
        clockOffset = mClockOffset;
    }
    const float* q = sample.orientation;
    mCorrector.AddImuOrientation(Eigen::Quaternionf(q[3], q[0], q[1], q[2]), sampleTime + clockOffset);
    const Eigen::Quaternionf corrected = mCorrector.CorrectedOrientation();
    const double orientation[4] = {corrected.x(), corrected.y(), corrected.z(), corrected.w()};
    const double angularVelocity[3] = {sample.angularVelocity[0], sample.angularVelocity[1],
                                       sample.angularVelocity[2]};
    UpdateInertial(orientation, angularVelocity);
}
