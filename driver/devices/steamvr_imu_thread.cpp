// The Lighthouse device's IMU thread: finds and opens the runtime's IMU stream of
// the physical device, reads its calibration and feeds the fusion filter.
#include "devices/steamvr_device.h"

#include "core/device_provider.h"
#include "core/driver_log.h"
#include "core/host_interfaces.h"
#include "core/property_access.h"
#include "platform/sleep.h"

#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstring>

namespace {

const char kViveControllerPrefix[] = "/devices/htc/vive_controller";
constexpr size_t kViveControllerPrefixLength = sizeof(kViveControllerPrefix) - 1;  // 28
constexpr uint32_t kImuSampleSize = sizeof(vr::ImuSample_t);  // 64
constexpr uint32_t kReadBufferSize = 1280;                    // 20 samples a read
static_assert(kImuSampleSize == 64, "the IMU stream carries 64-byte samples");

bool ReadVector3(vr::PropertyContainerHandle_t container, vr::ETrackedDeviceProperty prop, Eigen::Vector3d& out) {
    vr::HmdVector3_t value{};
    if (halvex::properties::ReadFixed(container, prop, vr::k_unHmdVector3PropertyTag, &value, sizeof(value)) !=
        vr::TrackedProp_Success)
        return false;
    out = Eigen::Vector3d(value.v[0], value.v[1], value.v[2]);
    return true;
}

// A scale that is not finite, or zero, would turn every reading into NaN or nothing.
bool ScaleIsUsable(const Eigen::Vector3d& scale) { return scale.allFinite() && (scale.array() != 0.0).all(); }

}  // namespace

void cHalvexSteamvrDevice::ThreadProc_ImuThread(uint32_t deviceIndex) {
    static std::atomic<bool> timerFallbackLogged{false};
    if (!halvex::platform::SleepIsHighResolution() && !timerFallbackLogged.exchange(true))
        DriverLog("High-resolution timer unavailable: IMU polls wait on a 1 ms timer period");
    if (!DeriveImuPath()) return;
    if (!OpenImuStream()) return;
    DriverLog("IMU stream opened at '%s' for device %s", mImuPath, mSerialNumber.c_str());
    ReadImuCalibration();
    ResetFilter();
    if (mRecorder.Enabled()) StartRecordThread(deviceIndex);
    while (!mStopImuThread.load()) {
        ProcessImuSamples();
        halvex::platform::SleepUntil(std::chrono::steady_clock::now() + std::chrono::nanoseconds(500000));
    }
    if (vr::IVRIOBuffer* io = halvex::host::IOBuffer()) io->Close(mImuBuffer);
    mImuBuffer = vr::k_ulInvalidIOBufferHandle;
}

bool cHalvexSteamvrDevice::DeriveImuPath() {
    std::memset(mImuPath, 0, sizeof(mImuPath));
    if (mSemantic == Hmd) {
        vr::IVRProperties* properties = halvex::host::Properties();
        const vr::PropertyContainerHandle_t hmd =
            properties ? properties->TrackedDeviceToPropertyContainer(vr::k_unTrackedDeviceIndex_Hmd)
                       : vr::k_ulInvalidPropertyContainer;
        vr::ETrackedPropertyError error = vr::TrackedProp_Success;
        const std::string serial = halvex::properties::ReadString(hmd, vr::Prop_SerialNumber_String, &error);
        if (error != vr::TrackedProp_Success) {
            DriverLog("Unable to retrieve serial number for HMD IMU path (error code %d)", static_cast<int>(error));
            return false;
        }
        if (!FormatImuPath("/devices/lighthouse/%s/imu", serial.c_str())) return false;
        halvex::properties::WriteUint64(hmd, vr::Prop_CurrentUniverseId_Uint64, kHalvexUniverseId);
        halvex::properties::WriteString(hmd, vr::Prop_DriverProvidedChaperonePath_String,
                                        "{halvex}/chaperone_info.vrchap");
        return true;
    }

    char overridePath[4096];
    overridePath[0] = '\0';
    vr::EVRSettingsError error = vr::VRSettingsError_None;
    vr::IVRSettings* settings = halvex::host::Settings();
    if (settings) settings->GetString("TrackingOverrides", mDevicePath.c_str(), overridePath, sizeof(overridePath), &error);
    if (!settings || error != vr::VRSettingsError_None) {
        DriverLog("Unable to derive IMU path from TrackingOverrides for %s", mSerialNumber.c_str());
        return false;
    }
    overridePath[sizeof(overridePath) - 1] = '\0';
    if (std::strncmp(overridePath, kViveControllerPrefix, kViveControllerPrefixLength) == 0) {
        char lighthousePath[4096 + 32];
        std::snprintf(lighthousePath, sizeof(lighthousePath), "/devices/lighthouse/%s",
                      overridePath + kViveControllerPrefixLength);
        DriverLog("Mapping HTC controller path '%s' to Lighthouse driver path '%s'", overridePath, lighthousePath);
        return FormatImuPath("%s/imu", lighthousePath);
    }
    return FormatImuPath("%s/imu", overridePath);
}

bool cHalvexSteamvrDevice::FormatImuPath(const char* format, const char* part) {
    const int length = std::snprintf(mImuPath, sizeof(mImuPath), format, part);
    if (length < 0 || length >= static_cast<int>(sizeof(mImuPath))) {
        // A cut path would name some other stream.
        DriverLog("IMU stream path for %s is too long", mSerialNumber.c_str());
        std::memset(mImuPath, 0, sizeof(mImuPath));
        return false;
    }
    return true;
}

bool cHalvexSteamvrDevice::OpenImuStream() {
    bool reported = false;
    while (mImuBuffer == vr::k_ulInvalidIOBufferHandle) {
        vr::IVRIOBuffer* io = halvex::host::IOBuffer();
        vr::EIOBufferError error = vr::IOBuffer_OperationFailed;
        vr::IOBufferHandle_t handle = vr::k_ulInvalidIOBufferHandle;
        if (io) error = io->Open(mImuPath, vr::IOBufferMode_Read, kImuSampleSize, 0, &handle);
        if (error == vr::IOBuffer_Success) {
            mImuBuffer = handle;
            break;
        }
        if (!reported) {
            DriverLog("Unable to open IMU stream at '%s' (error code %d); will continue polling in the background",
                      mImuPath, static_cast<int>(error));
            reported = true;
        }
        // Wake early on a stop request so Deactivate does not wait a whole second.
        const auto wake = std::chrono::steady_clock::now() + std::chrono::seconds(1);
        while (std::chrono::steady_clock::now() < wake && !mStopImuThread.load())
            halvex::platform::SleepUntil(std::min(wake, std::chrono::steady_clock::now() + std::chrono::milliseconds(20)));
        if (mStopImuThread.load()) return false;
    }
    return true;
}

void cHalvexSteamvrDevice::ReadImuCalibration() {
    vr::IVRIOBuffer* io = halvex::host::IOBuffer();
    if (!io) return;
    const vr::PropertyContainerHandle_t container = io->PropertyContainer(mImuBuffer);
    // Read into copies; ResetFilter (any thread) reads the biases under the filter lock.
    Eigen::Vector3d gyroBias = mFactoryGyroBias, gyroScale = mFactoryGyroScale;
    Eigen::Vector3d accelBias = mFactoryAccelBias, accelScale = mFactoryAccelScale;
    if (ReadVector3(container, vr::Prop_ImuFactoryGyroBias_Vector3, gyroBias))
        DriverLog("FactoryGyroBias: %+1.8e %+1.8e %+1.8e", gyroBias.x(), gyroBias.y(), gyroBias.z());
    if (ReadVector3(container, vr::Prop_ImuFactoryGyroScale_Vector3, gyroScale))
        DriverLog("FactoryGyroScale: %+1.8e %+1.8e %+1.8e", gyroScale.x(), gyroScale.y(), gyroScale.z());
    if (!ScaleIsUsable(gyroScale)) {
        DriverLog("FactoryGyroScale unusable; using 1");
        gyroScale = Eigen::Vector3d::Ones();
    }
    if (ReadVector3(container, vr::Prop_ImuFactoryAccelerometerBias_Vector3, accelBias))
        DriverLog("FactoryAccelBias: %+1.8e %+1.8e %+1.8e", accelBias.x(), accelBias.y(), accelBias.z());
    if (ReadVector3(container, vr::Prop_ImuFactoryAccelerometerScale_Vector3, accelScale))
        DriverLog("FactoryAccelScale: %+1.8e %+1.8e %+1.8e", accelScale.x(), accelScale.y(), accelScale.z());
    if (!ScaleIsUsable(accelScale)) {
        DriverLog("FactoryAccelScale unusable; using 1");
        accelScale = Eigen::Vector3d::Ones();
    }
    // A non-finite bias would seed the filter's bias states with NaN.
    if (!gyroBias.allFinite()) gyroBias.setZero();
    if (!accelBias.allFinite()) accelBias.setZero();
    {
        std::lock_guard<std::mutex> lock(mFilterMutex);
        mFactoryGyroBias = gyroBias;
        mFactoryGyroScale = gyroScale;
        mFactoryAccelBias = accelBias;
        mFactoryAccelScale = accelScale;
    }

    vr::HmdMatrix34_t matrix{};
    if (halvex::properties::ReadFixed(container, vr::Prop_ImuToHeadTransform_Matrix34, vr::k_unHmdMatrix34PropertyTag,
                                      &matrix, sizeof(matrix)) != vr::TrackedProp_Success)
        return;
    Eigen::Matrix3d rotation;
    Eigen::Vector3d translation;
    for (int r = 0; r < 3; ++r) {
        for (int c = 0; c < 3; ++c) rotation(r, c) = matrix.m[r][c];
        translation[r] = matrix.m[r][3];
    }
    // Through a quaternion and back: the float matrix becomes orthonormal.
    const Eigen::Quaterniond q = Eigen::Quaterniond(rotation).normalized();
    Eigen::Isometry3d imuToHead = Eigen::Isometry3d::Identity();
    imuToHead.linear() = q.toRotationMatrix();
    imuToHead.translation() = translation;
    const Eigen::Quaterniond inverse = q.inverse();
    std::lock_guard<std::mutex> lock(mPoseMutex);
    mImuToHead = imuToHead;
    mHeadToImu = imuToHead.inverse(Eigen::Isometry);
    mPose.qDriverFromHeadRotation = {inverse.w(), inverse.x(), inverse.y(), inverse.z()};
    const Eigen::Vector3d headToImuTranslation = mHeadToImu.translation();
    for (int i = 0; i < 3; ++i) mPose.vecDriverFromHeadTranslation[i] = headToImuTranslation[i];
}

void cHalvexSteamvrDevice::ProcessImuSamples() {
    vr::IVRIOBuffer* io = halvex::host::IOBuffer();
    if (!io) return;
    bool fed = false;
    alignas(8) unsigned char buffer[kReadBufferSize];
    // Drain the stream, but never past a stop request: a reader slower than the
    // stream would otherwise never see the flag, and Deactivate would wait forever.
    while (!mStopImuThread.load()) {
        uint32_t bytesRead = 0;
        if (io->Read(mImuBuffer, buffer, sizeof(buffer), &bytesRead) != vr::IOBuffer_Success || bytesRead == 0) break;
        if (bytesRead > sizeof(buffer)) bytesRead = sizeof(buffer);
        for (uint32_t offset = 0; offset + kImuSampleSize <= bytesRead; offset += kImuSampleSize) {
            vr::ImuSample_t sample;
            std::memcpy(&sample, buffer + offset, sizeof(sample));
            const bool recording = mRecorder.Enabled();
            // A NaN time or reading would poison the filter for good: a NaN time even
            // defeats the time-order check in FeedImuSample.
            const double rawAccel[3] = {sample.vAccel.v[0], sample.vAccel.v[1], sample.vAccel.v[2]};
            const double rawGyro[3] = {sample.vGyro.v[0], sample.vGyro.v[1], sample.vGyro.v[2]};
            if (!ImuSampleIsUsable(rawAccel, rawGyro, sample.fSampleTime)) {
                if (recording) RecordImuSample(sample);  // what the filter was spared, as it came
                continue;
            }
            // The result of the poll's last usable sample decides about submitting.
            fed = FeedImuSample(sample, recording);
        }
    }

    const double now = DriverTimeNow();
    if (fed) SubmitFusedPoseOrInvalidate(now);
    CheckStaleness(now);
}

void cHalvexSteamvrDevice::RecordImuSample(const vr::ImuSample_t& sample) {
    mImuRawRing.push(halvex::sRawRecord{DriverTimeNow(), sample.fSampleTime, 0.0, sample.vAccel.v[0], sample.vAccel.v[1],
                                        sample.vAccel.v[2], 0.0, sample.vGyro.v[0], sample.vGyro.v[1],
                                        sample.vGyro.v[2]});
}

bool cHalvexSteamvrDevice::FeedImuSample(const vr::ImuSample_t& sample, bool recording) {
    // Scales only: the filter estimates the biases, seeded with the factory values.
    double accel[3] = {sample.vAccel.v[0] * mFactoryAccelScale.x(), sample.vAccel.v[1] * mFactoryAccelScale.y(),
                             sample.vAccel.v[2] * mFactoryAccelScale.z()};
    double gyro[3] = {sample.vGyro.v[0] * mFactoryGyroScale.x(), sample.vGyro.v[1] * mFactoryGyroScale.y(),
                            sample.vGyro.v[2] * mFactoryGyroScale.z()};
    std::unique_lock<std::mutex> lock(mFilterMutex);
    // Stamped under the filter's lock: the raw file keeps the order the filter took samples in.
    if (recording) RecordImuSample(sample);
    if (sample.fSampleTime - mFusionFilter.mLastImuTime <= 0.0) {
        DriverLog("Negative IMU dt");
        lock.unlock();
        ResetFilter();
        lock.lock();
    }
    // The filter's own calibration, which a reset may just have replaced.
    mCalibration.CorrectImu(accel, gyro);
    return mFusionFilter.AddImuSample(accel, gyro, sample.fSampleTime);
}
