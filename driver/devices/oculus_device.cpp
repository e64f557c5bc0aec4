#include "devices/oculus_device.h"

#include "core/callback_boundary.h"
#include "core/device_provider.h"
#include "core/driver_log.h"
#include "devices/pose_validity.h"
#include "recording/recording_loop.h"

#include <algorithm>
#include <atomic>
#include <cmath>

namespace {

std::atomic<int32_t> gUpdateInertialCalls{0};
halvex::cCallbackBoundary gOculusActivateBoundary("Activate of an Oculus device");

bool Finite3(const double v[3]) { return std::isfinite(v[0]) && std::isfinite(v[1]) && std::isfinite(v[2]); }

// The optical frame and the device frame differ by a half turn about y (w, x, y, z).
const Eigen::Quaterniond kAlignment(0.0, 0.0, 1.0, 0.0);

// Moves the optical pose onto the device frame as the other classes do (the aligned pose
// times the rigid body's inverse), then back into the streamed convention the corrector
// pairs with the headset. The identity leaves the sample bit for bit as it was.
void ApplyRigidBodyInDevice(const halvex::sDeviceCalibration& calibration, double position[3],
                            double orientation[4]) {
    if (calibration.rigidBodyInDevice.matrix() == Eigen::Matrix4d::Identity()) return;
    const Eigen::Quaterniond streamed(orientation[3], orientation[0], orientation[1], orientation[2]);
    Eigen::Isometry3d aligned = Eigen::Isometry3d::Identity();
    aligned.linear() = (streamed.normalized() * kAlignment).toRotationMatrix();
    aligned.translation() = Eigen::Vector3d(position[0], position[1], position[2]);
    const Eigen::Isometry3d device = calibration.DeviceFromOptical(aligned);
    const Eigen::Quaterniond moved = Eigen::Quaterniond(device.rotation()) * kAlignment.conjugate();
    for (int i = 0; i < 3; ++i) position[i] = device.translation()[i];
    orientation[0] = moved.x();
    orientation[1] = moved.y();
    orientation[2] = moved.z();
    orientation[3] = moved.w();
}

}  // namespace

cHalvexOculusDevice::cHalvexOculusDevice(cHalvexDeviceProvider* provider, eSemantic semantic,
                                         const std::string& serial, halvex::oculus::cOculusLink* link)
    : cHalvexDevice_Base(provider, semantic, serial, "-o"),
      mLink(link),
      mNewestCalibration(provider && semantic <= ControllerB ? provider->mCalibrations[semantic]
                                                             : halvex::sDeviceCalibration{}),
      mRecorder([this](uint32_t deviceIndex, double recordFrom,
                       const std::atomic<bool>& stop) { RecordUntilStopped(deviceIndex, recordFrom, stop); },
                [this] { return DriverTimeNow(); }) {
    LogCommonConstructionLines(provider);
}

cHalvexOculusDevice::~cHalvexOculusDevice() {
    DriverLog("%s mRigidBodyID=%d Shutdown", mName.c_str(), GetRigidBodyId());
    if (mAttached) Deactivate();
}

vr::EVRInitError cHalvexOculusDevice::Activate(uint32_t unObjectId) {
    vr::EVRInitError result = vr::VRInitError_Driver_Failed;
    gOculusActivateBoundary.Run([&] {
        ActivateCommon(unObjectId, "Activating Halvex Oculus Device\n", false);
        mRecorder.SetEnabled(mProvider && mProvider->mRecordRawData);
        mLink->Attach(this);
        mAttached = true;
        if (mRecorder.Enabled()) mRecorder.Start(unObjectId);
        result = vr::VRInitError_None;
    });
    if (result != vr::VRInitError_None) {
        // Half joined (the reader thread could not start): leave the link and look inactive.
        mDeviceIndex.store(vr::k_unTrackedDeviceIndexInvalid);
        gOculusActivateBoundary.Run([&] { mLink->Detach(this); });
        mAttached = false;
    }
    return result;
}

void cHalvexOculusDevice::Deactivate() {
    mDeviceIndex.store(vr::k_unTrackedDeviceIndexInvalid);
    if (mAttached) mLink->Detach(this);
    mAttached = false;
    mRecorder.Stop();
}

vr::DriverPose_t cHalvexOculusDevice::GetPose() {
    DriverLog("cHalvexOculusDevice::GetPose() called");
    return cHalvexDevice_Base::GetPose();
}

void cHalvexOculusDevice::UpdateOptical(const double position[3], const double orientation[4], double sampleTime,
                                        double latency) {
    // As received, usable or not, before any calibration: what a calibration is estimated from.
    // Only while active: frames keep coming after a Deactivate, and the next recording
    // would start with them.
    if (mRecorder.Enabled() && IsActive())
        mOpticalRawRing.push(halvex::MakeOpticalRawRecord(DriverTimeNow(), sampleTime, position, orientation[3],
                                                          orientation[0], orientation[1], orientation[2]));
    // One NaN would stay in the corrector's correction for good: such a sample is dropped whole.
    const bool usable = halvex::OrientationIsUsable({orientation[3], orientation[0], orientation[1], orientation[2]}) &&
                        Finite3(position) && std::isfinite(sampleTime) && std::isfinite(latency);
    if (!usable) {
        const uint32_t dropped = mDroppedOptical.fetch_add(1, std::memory_order_relaxed) + 1;
        if (dropped == 1 || DebugLogging())
            DriverLog("%s dropped an optical sample with an invalid pose (%u so far)\n", mName.c_str(), dropped);
        return;
    }
    const halvex::sDeviceCalibration calibration = mNewestCalibration.Get();
    double devicePosition[3] = {position[0], position[1], position[2]};
    double deviceOrientation[4] = {orientation[0], orientation[1], orientation[2], orientation[3]};
    ApplyRigidBodyInDevice(calibration, devicePosition, deviceOrientation);
    const double opticalTime = sampleTime + calibration.opticalTimeOffset;
    // Position and validity only: the pose goes out with the next headset sample.
    std::lock_guard<std::mutex> lock(mPoseMutex);
    mLastOpticalSampleTime = opticalTime;
    for (int i = 0; i < 3; ++i) mPose.vecPosition[i] = devicePosition[i];
    mPose.poseIsValid = true;
    mPose.result = vr::TrackingResult_Running_OK;
    if (mCorrectionEnabled) {
        // Stamp plus latency is the arrival, which a wrong latency stamp does not move:
        // the clock offset is judged on it as it came, or it would take the time offset back.
        mClockOffset = std::min(mClockOffset, sampleTime + latency - mLastImuSampleTime);
        const Eigen::Quaternionf q(
            static_cast<float>(deviceOrientation[3]), static_cast<float>(deviceOrientation[0]),
            static_cast<float>(deviceOrientation[1]), static_cast<float>(deviceOrientation[2]));
        mCorrector.AddOpticalOrientation(q, opticalTime);
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
    // The orientation is the headset's at its sample time: a sample that waited in the
    // ring (a child short of CPU) must say so, or the runtime predicts from the wrong time.
    mPose.poseTimeOffset = std::min(0.0, mLastImuSampleTime - DriverTimeNow());
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
    // The head's recording carries the headset's body-frame rate, the rate the child gives;
    // a controller's does not: the headset is not its sensor.
    if (mSemantic == Hmd && mRecorder.Enabled()) {
        const double noAccelerometer[3] = {0.0, 0.0, 0.0};
        const double rate[3] = {sample.angularVelocity[0], sample.angularVelocity[1], sample.angularVelocity[2]};
        mImuRawRing.push(halvex::MakeImuRawRecord(DriverTimeNow(), sampleTime, noAccelerometer, rate));
    }
    const float* q = sample.orientation;
    mCorrector.AddImuOrientation(Eigen::Quaternionf(q[3], q[0], q[1], q[2]), sampleTime + clockOffset);
    const Eigen::Quaternionf corrected = mCorrector.CorrectedOrientation();
    const double orientation[4] = {corrected.x(), corrected.y(), corrected.z(), corrected.w()};
    const double angularVelocity[3] = {sample.angularVelocity[0], sample.angularVelocity[1],
                                       sample.angularVelocity[2]};
    UpdateInertial(orientation, angularVelocity);
}

sDeviceStatus cHalvexOculusDevice::Status() const {
    sDeviceStatus status = cHalvexDevice_Base::Status();
    status.canRecord = true;
    status.recording = mRecorder.Running();
    return status;
}

bool cHalvexOculusDevice::SetRecording(bool on, std::string& why) {
    return mRecorder.Set(on, mDeviceIndex.load(std::memory_order_acquire), why);
}

void cHalvexOculusDevice::SetCalibration(const halvex::sDeviceCalibration& calibration) {
    if (!mNewestCalibration.Set(calibration)) return;
    DriverLog("%s calibration replaced", mName.c_str());
    if (mRecorder.Running())
        DriverLog("%s calibration replaced during a recording: its file keeps the one it started with", mName.c_str());
}

void cHalvexOculusDevice::RecordUntilStopped(uint32_t deviceIndex, double recordFrom, const std::atomic<bool>& stop) {
    halvex::sRecordingSetup setup;
    // Only the head pushes headset rows; a controller's file has optical rows alone.
    setup.imuRawRing = &mImuRawRing;
    setup.opticalRawRing = &mOpticalRawRing;
    // No filter ring: this class has no filter, so no filter file.
    setup.header.orientationOnly = mSemantic == Hmd;
    const halvex::sDeviceCalibration calibration = mNewestCalibration.Get();
    setup.calibration = &calibration;
    setup.deviceIndex = deviceIndex;
    setup.log = [](const char* line) { DriverLog("%s", line); };
    setup.driverTimeNow = [this] { return DriverTimeNow(); };
    setup.recordFrom = recordFrom;
    const halvex::sRecordingResult result = halvex::RunRecordingLoop(setup, stop);
    if (!result.filesOpened) return;  // the loop has said why already
    DriverLog("%s recording ended: %llu headset and %llu optical rows written; %llu and %llu records dropped",
              mName.c_str(), static_cast<unsigned long long>(result.imuRows),
              static_cast<unsigned long long>(result.opticalRows),
              static_cast<unsigned long long>(mImuRawRing.dropped()),
              static_cast<unsigned long long>(mOpticalRawRing.dropped()));
}
