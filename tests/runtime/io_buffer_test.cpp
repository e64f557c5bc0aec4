// The IMU streams on their own: the IO buffer interface a driver sees, the sample
// grid and timing, the bounded queue and the reader's poll statistics.
#include "vrhost/world/imu_calibration.h"
#include "vrhost/world/imu_producer.h"
#include "vrhost/world/imu_sample_source.h"
#include "vrhost/world/imu_stream.h"
#include "vrhost/interfaces/io_buffer.h"
#include "vrhost/interfaces/property_store.h"

#include "platform/clock.h"
#include "platform/sleep.h"
#include "sim/imu_model.h"
#include "sim/tracking_geometry.h"

#include <gtest/gtest.h>

#include <cmath>
#include <memory>
#include <vector>

namespace {

constexpr const char* kPath = "/devices/lighthouse/LHR-TEST/imu";

std::unique_ptr<vrhost::cImuSampleSource> Source(const vrhost::sImuCalibration& calibration = {}) {
    return std::make_unique<vrhost::cImuSampleSource>(sim::cMotionScenario::Create("head-turns", 7), 7, calibration);
}

std::shared_ptr<vrhost::cImuStream> Stream(vrhost::cPropertyStore& properties, size_t queueLimit = 4096,
                                           const vrhost::sImuCalibration& calibration =
                                               vrhost::ResolveImuCalibration({})) {
    const vr::PropertyContainerHandle_t container = properties.CreateContainer();
    vrhost::PublishImuCalibration(properties, container, calibration);
    return std::make_shared<vrhost::cImuStream>(kPath, "halvex-head", Source(calibration), queueLimit, container);
}

std::vector<vr::ImuSample_t> ReadAll(vr::IVRIOBuffer& io, vr::IOBufferHandle_t handle) {
    std::vector<vr::ImuSample_t> samples;
    vr::ImuSample_t buffer[20];
    uint32_t bytes = 0;
    while (io.Read(handle, buffer, sizeof(buffer), &bytes) == vr::IOBuffer_Success && bytes > 0) {
        EXPECT_EQ(bytes % sizeof(vr::ImuSample_t), 0u);
        samples.insert(samples.end(), buffer, buffer + bytes / sizeof(vr::ImuSample_t));
    }
    return samples;
}

template <typename T>
T ReadProperty(vrhost::cPropertyStore& properties, vr::PropertyContainerHandle_t container,
               vr::ETrackedDeviceProperty prop, vr::PropertyTypeTag_t expectedTag) {
    T value{};
    vr::PropertyRead_t read{};
    read.prop = prop;
    read.pvBuffer = &value;
    read.unBufferSize = sizeof(value);
    EXPECT_EQ(properties.ReadPropertyBatch(container, &read, 1), vr::TrackedProp_Success);
    EXPECT_EQ(read.eError, vr::TrackedProp_Success);
    EXPECT_EQ(read.unTag, expectedTag);
    EXPECT_EQ(read.unRequiredBufferSize, sizeof(value));
    return value;
}

TEST(IoBufferTest, OpenReadCloseAndErrors) {
    vrhost::cPropertyStore properties;
    vrhost::cIOBuffer io;
    auto stream = Stream(properties);
    ASSERT_TRUE(io.AddStream(stream));
    EXPECT_FALSE(io.AddStream(Stream(properties)));  // one stream per path

    vr::IOBufferHandle_t handle = 77;
    EXPECT_EQ(io.Open("/devices/lighthouse/OTHER/imu", vr::IOBufferMode_Read, 64, 0, &handle),
              vr::IOBuffer_PathDoesNotExist);
    EXPECT_EQ(handle, vr::k_ulInvalidIOBufferHandle);
    EXPECT_EQ(io.Open(nullptr, vr::IOBufferMode_Read, 64, 0, &handle), vr::IOBuffer_InvalidArgument);
    EXPECT_EQ(io.Open(kPath, vr::IOBufferMode_Read, 64, 0, nullptr), vr::IOBuffer_InvalidArgument);
    EXPECT_EQ(io.Open(kPath, vr::IOBufferMode_Write, 64, 0, &handle), vr::IOBuffer_Permission);
    EXPECT_EQ(io.Open(kPath, static_cast<vr::EIOBufferMode>(vr::IOBufferMode_Read | vr::IOBufferMode_Create), 64, 0,
                      &handle),
              vr::IOBuffer_Permission);
    EXPECT_EQ(io.Open(kPath, vr::IOBufferMode_Read, 32, 0, &handle), vr::IOBuffer_InvalidArgument);
    EXPECT_FALSE(stream->HasReaders());  // failed opens attach nobody

    ASSERT_EQ(io.Open(kPath, vr::IOBufferMode_Read, 64, 0, &handle), vr::IOBuffer_Success);
    ASSERT_NE(handle, vr::k_ulInvalidIOBufferHandle);
    EXPECT_TRUE(io.HasReaders(handle));
    EXPECT_EQ(io.PropertyContainer(handle), stream->Container());

    // Samples whose time has come, whole elements only, as many as fit.
    stream->Produce(halvex::platform::NowSeconds() + 0.010);
    unsigned char buffer[64 * 3 + 10];
    uint32_t bytes = 99;
    EXPECT_EQ(io.Read(handle, buffer, 63, &bytes), vr::IOBuffer_InvalidArgument);
    EXPECT_EQ(bytes, 0u);
    ASSERT_EQ(io.Read(handle, buffer, sizeof(buffer), &bytes), vr::IOBuffer_Success);
    EXPECT_EQ(bytes, 64u * 3);
    EXPECT_FALSE(ReadAll(io, handle).empty());
    ASSERT_EQ(io.Read(handle, buffer, sizeof(buffer), &bytes), vr::IOBuffer_Success);
    EXPECT_EQ(bytes, 0u);  // drained

    EXPECT_EQ(io.Write(handle, buffer, 64), vr::IOBuffer_Permission);
    EXPECT_EQ(io.Close(handle), vr::IOBuffer_Success);
    EXPECT_FALSE(stream->HasReaders());
    EXPECT_EQ(io.Close(handle), vr::IOBuffer_InvalidHandle);
    EXPECT_EQ(io.Read(handle, buffer, sizeof(buffer), &bytes), vr::IOBuffer_InvalidHandle);
    EXPECT_EQ(io.Write(handle, buffer, 64), vr::IOBuffer_InvalidHandle);
    EXPECT_EQ(io.PropertyContainer(handle), vr::k_ulInvalidPropertyContainer);
    EXPECT_FALSE(io.HasReaders(handle));
}

TEST(IoBufferTest, PropertyContainerHoldsTheCalibration) {
    vrhost::cPropertyStore properties;
    vrhost::cIOBuffer io;
    vrhost::sImuCalibrationOptions options;
    options.gyroScale = vrhost::Vector3{1.0, 2.0, 0.5};
    options.accelBias = vrhost::Vector3{0.1, 0.2, 0.3};
    const vrhost::sImuCalibration calibration = vrhost::ResolveImuCalibration(options);
    io.AddStream(Stream(properties, 4096, calibration));
    vr::IOBufferHandle_t handle = 0;
    ASSERT_EQ(io.Open(kPath, vr::IOBufferMode_Read, 64, 0, &handle), vr::IOBuffer_Success);
    const vr::PropertyContainerHandle_t container = io.PropertyContainer(handle);

    const sim::sImuModelParams model;
    const auto gyroBias = ReadProperty<vr::HmdVector3_t>(properties, container, vr::Prop_ImuFactoryGyroBias_Vector3,
                                                         vr::k_unHmdVector3PropertyTag);
    const auto gyroScale = ReadProperty<vr::HmdVector3_t>(properties, container, vr::Prop_ImuFactoryGyroScale_Vector3,
                                                          vr::k_unHmdVector3PropertyTag);
    const auto accelBias = ReadProperty<vr::HmdVector3_t>(
        properties, container, vr::Prop_ImuFactoryAccelerometerBias_Vector3, vr::k_unHmdVector3PropertyTag);
    const auto accelScale = ReadProperty<vr::HmdVector3_t>(
        properties, container, vr::Prop_ImuFactoryAccelerometerScale_Vector3, vr::k_unHmdVector3PropertyTag);
    for (int i = 0; i < 3; ++i) {
        EXPECT_FLOAT_EQ(gyroBias.v[i], static_cast<float>(model.gyroBias[i])) << i;  // the model's by default
        EXPECT_FLOAT_EQ(accelBias.v[i], static_cast<float>(0.1 * (i + 1))) << i;
        EXPECT_FLOAT_EQ(accelScale.v[i], 1.0f) << i;
    }
    EXPECT_FLOAT_EQ(gyroScale.v[1], 2.0f);
    EXPECT_FLOAT_EQ(gyroScale.v[2], 0.5f);

    const auto matrix = ReadProperty<vr::HmdMatrix34_t>(properties, container, vr::Prop_ImuToHeadTransform_Matrix34,
                                                        vr::k_unHmdMatrix34PropertyTag);
    const Eigen::Matrix4d expected = sim::HeadsetImuToHead().matrix();
    for (int r = 0; r < 3; ++r) {
        for (int c = 0; c < 4; ++c) EXPECT_NEAR(matrix.m[r][c], expected(r, c), 1e-6) << r << "," << c;
    }
}

TEST(IoBufferTest, LateStreamOpensOnlyOnceItExists) {
    vrhost::cPropertyStore properties;
    vrhost::cIOBuffer io;
    auto stream = Stream(properties);
    io.AddStream(stream);
    const double now = halvex::platform::NowSeconds();
    stream->SetAvailableFrom(now + 0.3);
    vr::IOBufferHandle_t handle = 0;
    EXPECT_EQ(io.Open(kPath, vr::IOBufferMode_Read, 64, 0, &handle), vr::IOBuffer_PathDoesNotExist);
    halvex::platform::SleepFor(0.35);
    EXPECT_EQ(io.Open(kPath, vr::IOBufferMode_Read, 64, 0, &handle), vr::IOBuffer_Success);
}

TEST(ImuStreamTest, SamplesSitOnTheGridAndNeverComeFromTheFuture) {
    vrhost::cPropertyStore properties;
    vrhost::cIOBuffer io;
    auto stream = Stream(properties);
    io.AddStream(stream);
    vrhost::cImuProducer producer({stream});
    producer.Start();
    vr::IOBufferHandle_t handle = 0;
    const double opened = halvex::platform::NowSeconds();
    ASSERT_EQ(io.Open(kPath, vr::IOBufferMode_Read, 64, 0, &handle), vr::IOBuffer_Success);

    std::vector<vr::ImuSample_t> samples;
    const double end = opened + 0.3;
    while (halvex::platform::NowSeconds() < end) {
        const std::vector<vr::ImuSample_t> batch = ReadAll(io, handle);
        const double readAt = halvex::platform::NowSeconds();
        for (const vr::ImuSample_t& s : batch) EXPECT_LE(s.fSampleTime, readAt) << "a sample from the future";
        samples.insert(samples.end(), batch.begin(), batch.end());
        halvex::platform::SleepFor(0.001);
    }
    producer.Stop();

    ASSERT_GT(samples.size(), 200u);
    // Nothing from before the reader came; then every millisecond, none skipped.
    EXPECT_GE(samples.front().fSampleTime, opened - 1e-9);
    EXPECT_LT(samples.front().fSampleTime, opened + 0.0021);
    for (size_t i = 0; i < samples.size(); ++i) {
        const double index = samples[i].fSampleTime * 1000.0;
        EXPECT_NEAR(index, std::round(index), 1e-6);
        if (i > 0) {
            EXPECT_NEAR(samples[i].fSampleTime - samples[i - 1].fSampleTime, 0.001, 1e-9) << i;
        }
    }
    // Most samples reach the reader within a couple of milliseconds of their time.
    EXPECT_GE(samples.back().fSampleTime, end - 0.05);
}

TEST(ImuStreamTest, ValuesAreTheModelsDividedByTheFactoryScale) {
    vrhost::sImuCalibrationOptions options;
    options.gyroScale = vrhost::Vector3{2.0, -1.0, 0.5};
    options.accelScale = vrhost::Vector3{1.25, 1.0, 4.0};
    const vrhost::sImuCalibration calibration = vrhost::ResolveImuCalibration(options);
    const vrhost::cImuSampleSource source(sim::cMotionScenario::Create("walk", 9), 9, calibration);
    const auto motion = sim::cMotionScenario::Create("walk", 9);
    const sim::cImuModel model(*motion, sim::sImuModelParams{}, 9);
    for (const int64_t index : {int64_t{0}, int64_t{123456789}, int64_t{5000000001}}) {
        const vr::ImuSample_t sample = source.Sample(index);
        const sim::sImuSample expected = model.Sample(index);
        EXPECT_DOUBLE_EQ(sample.fSampleTime, expected.time);
        for (int axis = 0; axis < 3; ++axis) {
            EXPECT_DOUBLE_EQ(sample.vGyro.v[axis] * calibration.gyroScale[static_cast<size_t>(axis)],
                             expected.gyroscope[axis]);
            EXPECT_DOUBLE_EQ(sample.vAccel.v[axis] * calibration.accelScale[static_cast<size_t>(axis)],
                             expected.accelerometer[axis]);
        }
    }
}

TEST(ImuStreamTest, FullQueueDropsTheOldestAndCountsThem) {
    vrhost::cPropertyStore properties;
    auto stream = Stream(properties, 100);
    const double now = halvex::platform::NowSeconds();
    stream->AttachReader(now);
    stream->Produce(now + 0.25);  // 250 or 251 samples due
    const vrhost::sImuStreamStats stats = stream->Stats();
    EXPECT_EQ(stats.pending, 100u);
    EXPECT_EQ(stats.produced, stats.dropped + 100);
    EXPECT_GE(stats.produced, 250u);

    vr::ImuSample_t first{};
    ASSERT_EQ(stream->Read(&first, sizeof(first), now), sizeof(first));
    const double newest = vrhost::cImuSampleSource(sim::cMotionScenario::Create("still"), 1, {})
                              .TimeOf(static_cast<int64_t>(std::floor((now + 0.25) * 1000.0)));
    EXPECT_NEAR(first.fSampleTime, newest - 0.099, 1e-9);  // the newest 100 stayed

    // Without a reader nothing is produced; a reopen never goes back in time.
    stream->DetachReader();
    EXPECT_TRUE(std::isinf(stream->Produce(now + 1.0)));
    stream->AttachReader(now);
    stream->Produce(now + 0.26);
    EXPECT_EQ(stream->Stats().produced, stats.produced + 10);
}

TEST(ImuStreamTest, PollPeriodIsTheTimeBetweenDrains) {
    vrhost::cPropertyStore properties;
    auto stream = Stream(properties);
    const double start = 1000.0;
    stream->AttachReader(start);
    vr::ImuSample_t buffer[20];
    // 101 polls 2 ms apart, every fifth one 5 ms late; each poll reads until nothing comes.
    double t = start;
    for (int poll = 0; poll <= 100; ++poll) {
        t += (poll % 5 == 4) ? 0.007 : 0.002;
        stream->Produce(t);
        while (stream->Read(buffer, sizeof(buffer), t) > 0) {
        }
    }
    const vrhost::sImuStreamStats stats = stream->Stats();
    EXPECT_EQ(stats.polls, 101u);
    EXPECT_GT(stats.readCalls, stats.polls);  // polls with samples took two reads
    EXPECT_EQ(stats.read, stats.produced);
    EXPECT_NEAR(stats.pollMedianMs, 2.0, 0.02);
    EXPECT_NEAR(stats.pollP99Ms, 7.0, 0.07);
}

}  // namespace

TEST(ImuStreamTest, InjectedFaultsShowInTheSamplesAndThenEnd) {
    vrhost::cPropertyStore properties;
    auto stream = Stream(properties);
    using eFault = vrhost::cImuStream::eFault;
    const double t0 = 100.0;  // on the 1 kHz grid
    stream->AttachReader(t0);
    stream->InjectFault(eFault::TimeBackwards, t0, 3);
    stream->InjectFault(eFault::NotANumber, t0, 2);
    stream->Produce(t0 + 0.0095);
    vr::ImuSample_t s[20];
    ASSERT_EQ(stream->Read(s, sizeof(s), t0 + 0.01), 10 * sizeof(vr::ImuSample_t));
    for (int i = 0; i < 10; ++i) {
        EXPECT_NEAR(s[i].fSampleTime, t0 + 0.001 * i - (i < 3 ? 0.05 : 0.0), 1e-9) << i;
        EXPECT_EQ(std::isnan(s[i].vGyro.v[0]) && std::isnan(s[i].vAccel.v[2]), i < 2) << i;
    }

    // A gap: no sample for its length, then the grid goes on where it was.
    stream->InjectFault(eFault::Gap, t0 + 0.0102, 0.005);
    stream->Produce(t0 + 0.0195);
    ASSERT_EQ(stream->Read(s, sizeof(s), t0 + 0.02), 4 * sizeof(vr::ImuSample_t));
    for (int i = 0; i < 4; ++i) EXPECT_NEAR(s[i].fSampleTime, t0 + 0.016 + 0.001 * i, 1e-9) << i;
}
