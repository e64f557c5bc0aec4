#include "report_builder.h"
#include "wmr/sensor_decoding.h"

#include <gtest/gtest.h>

#include <cstddef>

namespace halvex::wmr {
namespace {

using test::Poke;

TEST(SensorReport, ShortOrOtherReportsAreNoSensorReport) {
    std::vector<uint8_t> bytes = test::StillReport(5000);
    sWmrInputReport_Sensors report{};
    report.id = 77;
    EXPECT_FALSE(ReadSensorReport(bytes.data(), 380, report));
    EXPECT_FALSE(ReadSensorReport(bytes.data(), 0, report));
    EXPECT_FALSE(ReadSensorReport(nullptr, 381, report));
    bytes[0] = 2;
    EXPECT_FALSE(ReadSensorReport(bytes.data(), bytes.size(), report));
    EXPECT_EQ(report.id, 77) << "a refused report leaves the record alone";
    bytes[0] = 1;
    bytes.push_back(0xAB);  // longer buffers (a larger input report length) still hold one
    EXPECT_TRUE(ReadSensorReport(bytes.data(), bytes.size(), report));
    EXPECT_EQ(report.id, 1);
}

TEST(SensorDecoding, TimeBaseIsTheEarlierFirstTickAndTimesAreMidpoints) {
    std::vector<uint8_t> bytes = test::StillReport(1000);
    Poke<uint64_t>(bytes, offsetof(sWmrInputReport_Sensors, timestampGyro), 1000);
    Poke<uint64_t>(bytes, offsetof(sWmrInputReport_Sensors, timestampAcc), 900);
    cHeadsetClock clock;
    sWmrImuSample samples[4];
    DecodeSensorReport(test::AsReport(bytes), 50.0, clock, samples);
    EXPECT_EQ(clock.TimeBase(), 900u);
    EXPECT_DOUBLE_EQ(samples[0].rawTime, 5e-6);
    // Sample 3 at 31000 ticks on both clocks: span 30100 ticks past the base.
    EXPECT_DOUBLE_EQ(clock.Offset(), 50.0 - 30100 / 1e7);
    EXPECT_DOUBLE_EQ(samples[3].rawTime, 30100 / 1e7);
    for (const sWmrImuSample& s : samples) EXPECT_DOUBLE_EQ(s.time, s.rawTime + clock.Offset());
}

TEST(SensorDecoding, AxesScalesAndTheEightGyroReadings) {
    std::vector<uint8_t> bytes = test::StillReport(1000);
    const size_t gyroX = offsetof(sWmrInputReport_Sensors, gyroX);
    const size_t gyroY = offsetof(sWmrInputReport_Sensors, gyroY);
    const size_t gyroZ = offsetof(sWmrInputReport_Sensors, gyroZ);
    for (int k = 0; k < 8; ++k) {
        // Sample 2 uses readings 16..23.
        Poke<int16_t>(bytes, gyroX + 2 * (16 + k), static_cast<int16_t>(k + 1));
        Poke<int16_t>(bytes, gyroY + 2 * (16 + k), static_cast<int16_t>(k + 1));
        Poke<int16_t>(bytes, gyroZ + 2 * (16 + k), static_cast<int16_t>(-(k + 1)));
    }
    Poke<int32_t>(bytes, offsetof(sWmrInputReport_Sensors, accX) + 4 * 2, -1234);
    Poke<int32_t>(bytes, offsetof(sWmrInputReport_Sensors, accY) + 4 * 2, 9810);
    Poke<int32_t>(bytes, offsetof(sWmrInputReport_Sensors, accZ) + 4 * 2, -250);
    cHeadsetClock clock;
    sWmrImuSample samples[4];
    DecodeSensorReport(test::AsReport(bytes), 10.0, clock, samples);
    EXPECT_DOUBLE_EQ(samples[2].angularVelocity[0], 0.0045);
    EXPECT_DOUBLE_EQ(samples[2].angularVelocity[1], -0.0045);
    EXPECT_DOUBLE_EQ(samples[2].angularVelocity[2], 0.0045);
    EXPECT_DOUBLE_EQ(samples[2].linearAcceleration[0], -1.234);
    EXPECT_DOUBLE_EQ(samples[2].linearAcceleration[1], -9.81);
    EXPECT_DOUBLE_EQ(samples[2].linearAcceleration[2], 0.25);
    // The still samples around it: gravity read along +Y of the tracking frame.
    EXPECT_DOUBLE_EQ(samples[1].linearAcceleration[1], 9.81);
    EXPECT_EQ(samples[1].angularVelocity[0], 0.0);
}

TEST(SensorDecoding, ExtremeReadingsStayExact) {
    std::vector<uint8_t> bytes = test::StillReport(1000);
    for (int k = 0; k < 8; ++k) Poke<int16_t>(bytes, offsetof(sWmrInputReport_Sensors, gyroX) + 2 * k, INT16_MIN);
    Poke<int32_t>(bytes, offsetof(sWmrInputReport_Sensors, accZ), INT32_MIN);
    cHeadsetClock clock;
    sWmrImuSample samples[4];
    DecodeSensorReport(test::AsReport(bytes), 10.0, clock, samples);
    EXPECT_DOUBLE_EQ(samples[0].angularVelocity[0], -32.768);
    EXPECT_DOUBLE_EQ(samples[0].linearAcceleration[2], 2147483.648);
}

TEST(SensorDecoding, EncodedMotionComesBackInTheTrackingFrame) {
    const sim::cWmrHeadsetClock headset(0.0, 123456789, 100.0);
    std::array<sim::sWmrSample, 4> in;
    for (int i = 0; i < 4; ++i) {
        const double t = 100.0 + 0.001 * i;
        in[i].gyroTicks = in[i].accTicks = headset.Ticks(t);
        in[i].accelerometer = {0.5 + i, 9.81, -2.0};
        in[i].gyroscope = {0.3, -1.25 + 0.1 * i, 2.0};
    }
    cHeadsetClock clock;
    sWmrImuSample out[4];
    DecodeSensorReport(test::AsReport(sim::EncodeWmrSensorReport(in)), 100.004, clock, out);
    for (int i = 0; i < 4; ++i) {
        for (int axis = 0; axis < 3; ++axis) {
            EXPECT_NEAR(out[i].linearAcceleration[axis], in[i].accelerometer[axis], 0.0005);
            EXPECT_NEAR(out[i].angularVelocity[axis], in[i].gyroscope[axis], 0.0000625 + 1e-12);
        }
        // Read 1 ms after the last sample: every sample is dated 1 ms late, 1 ms apart.
        EXPECT_NEAR(out[i].time, 100.001 + 0.001 * i, 1e-6);
    }
}

}  // namespace
}  // namespace halvex::wmr
