// The Lighthouse head's IMU intake: the samples of the runtime's IMU stream as
// the runtime hands them out, and the factory calibration it publishes. Input:
// four 3-float vectors (gyro bias, gyro scale, accel bias, accel scale), then
// 64-byte samples whose times count from the moment the input starts, so that a
// run of sane samples meets the optical samples the harness adds at the same times.
#include "core/device_provider.h"
#include "devices/steamvr_device.h"
#include "fuzz_driver_host.h"
#include "fuzz_support.h"
#include "fuzz_target.h"
#include "platform/clock.h"

#include <cmath>
#include <cstring>
#include <memory>

namespace {

constexpr size_t kCalibrationSize = 4 * sizeof(vr::HmdVector3_t);
constexpr vr::ETrackedDeviceProperty kCalibrationProperties[4] = {
    vr::Prop_ImuFactoryGyroBias_Vector3, vr::Prop_ImuFactoryGyroScale_Vector3,
    vr::Prop_ImuFactoryAccelerometerBias_Vector3, vr::Prop_ImuFactoryAccelerometerScale_Vector3};

class cImuHarness {
public:
    cImuHarness() : mHost("imu_samples") {
        mProvider.mQpcFrequency = halvex::platform::TickFrequency();
        mProvider.mQpcFrequencyDouble = static_cast<double>(mProvider.mQpcFrequency);
        mProvider.mTrackingType = TrackingType_Standard;
        mProvider.mDebugLevel = 1;
        mHost.properties.SetString(mHost.properties.TrackedDeviceToPropertyContainer(vr::k_unTrackedDeviceIndex_Hmd),
                                   vr::Prop_SerialNumber_String, "LHR-FUZZ0000");
        mHead = std::make_unique<cHalvexSteamvrDevice>(&mProvider, Hmd, "halvex-head");
        mHead->SetRigidBodyId(3);
    }

    void Run(const uint8_t* data, size_t size) {
        vr::HmdVector3_t calibration[4] = {{{0, 0, 0}}, {{1, 1, 1}}, {{0, 0, 0}}, {{1, 1, 1}}};
        std::memcpy(calibration, data, std::min(size, kCalibrationSize));
        for (int i = 0; i < 4; ++i)
            mHost.properties.SetFixed(halvex::fuzz::cQueuedImuBuffer::kContainer, kCalibrationProperties[i],
                                      vr::k_unHmdVector3PropertyTag, &calibration[i], sizeof(calibration[i]));

        const double start = mProvider.DriverTimeNow();
        const size_t sampleCount = size > kCalibrationSize ? (size - kCalibrationSize) / sizeof(vr::ImuSample_t) : 0;
        const uint8_t* samples = data + kCalibrationSize;
        const uint64_t emptyReadsBefore = mHost.imu.EmptyReads();
        mHead->Activate(1);
        for (size_t i = 0; i < sampleCount; ++i) {
            vr::ImuSample_t sample;
            std::memcpy(&sample, samples + i * sizeof(sample), sizeof(sample));
            const double sampleTime = start + sample.fSampleTime;
            // An optical sample before the first IMU sample and every 4 ms of samples after it.
            if (i % 4 == 0 && std::isfinite(sampleTime)) AddOpticalAt(sampleTime);
            sample.fSampleTime = sampleTime;
            mHost.imu.Queue(sample);
        }
        // Drained, then one more poll: the batch went all the way through.
        halvex::fuzz::WaitUntil([&] { return mHost.imu.Drained() && mHost.imu.EmptyReads() >= emptyReadsBefore + 2; },
                                2.0);
        const vr::DriverPose_t pose = mHead->GetPose();
        if (pose.poseIsValid)
            for (double v : {pose.vecPosition[0], pose.vecPosition[1], pose.vecPosition[2], pose.qRotation.w})
                if (!std::isfinite(v)) halvex::fuzz::Fail("imu_samples", "GetPose hands out a non-finite valid pose");
        mHead->Deactivate();
    }

private:
    void AddOpticalAt(double time) {
        const double position[3] = {0.0, 1.6, 0.0};
        const double orientation[4] = {0.0, 0.0, 0.0, 1.0};
        mHead->UpdateOptical(position, orientation, time, 0.0);
    }

    halvex::fuzz::sFuzzDriverHost mHost;
    cHalvexDeviceProvider mProvider;
    std::unique_ptr<cHalvexSteamvrDevice> mHead;
};

int FuzzImuSamples(const uint8_t* data, size_t size) {
    static cImuHarness harness;
    harness.Run(data, size);
    return 0;
}

}  // namespace

HALVEX_FUZZ_TARGET(imu_samples, FuzzImuSamples);
