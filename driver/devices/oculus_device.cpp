#include "devices/oculus_device.h"

#include "core/device_provider.h"
#include "core/driver_log.h"

#include <algorithm>
#include <atomic>

namespace {

std::atomic<int32_t> gUpdateInertialCalls{0};

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
    ActivateCommon(unObjectId, "Activating Halvex Oculus Device\n", false);
    mLink->Attach(this);
    mAttached = true;
    return vr::VRInitError_None;
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
