#include "sim/imu_model.h"
#include "sim/motion_scenario.h"
#include "sim/optical_model.h"
#include "sim/sensor_profile.h"

#include <gtest/gtest.h>

#include <cmath>
#include <vector>

namespace sim {
namespace {

constexpr double kPi = 3.14159265358979323846;

struct sMoments {
    double mean = 0.0;
    double variance = 0.0;
};

sMoments MomentsOf(const std::vector<double>& values) {
    sMoments m;
    for (double v : values) m.mean += v;
    m.mean /= static_cast<double>(values.size());
    for (double v : values) m.variance += (v - m.mean) * (v - m.mean);
    m.variance /= static_cast<double>(values.size() - 1);
    return m;
}

TEST(SensorProfile, IdealIsTheModelsDefaultAndRealisticDrawsPerDevice) {
    const sSensorProfile ideal = MakeSensorProfile(eSensorProfile::Ideal, 7);
    const sImuModelParams imu;
    const sOpticalModelParams optical;
    EXPECT_EQ(ideal.imu.gyroNoise, imu.gyroNoise);
    EXPECT_EQ(ideal.imu.gyroBiasWalk, 0.0);
    EXPECT_EQ(ideal.imu.sampleTimeJitter, 0.0);
    EXPECT_EQ(ideal.optical.positionNoise, optical.positionNoise);
    EXPECT_EQ(ideal.optical.dropProbability, optical.dropProbability);
    EXPECT_EQ(ideal.optical.occlusionProbability, 0.0);
    EXPECT_TRUE(ideal.imuToHeadError.isApprox(Eigen::Isometry3d::Identity()));

    const sSensorProfile a = MakeSensorProfile(eSensorProfile::Realistic, 7);
    const sSensorProfile again = MakeSensorProfile(eSensorProfile::Realistic, 7);
    const sSensorProfile b = MakeSensorProfile(eSensorProfile::Realistic, 8);
    EXPECT_TRUE(a.imu.gyroSensorError.isApprox(again.imu.gyroSensorError)) << "the same device in every process";
    EXPECT_FALSE(a.imu.gyroSensorError.isApprox(b.imu.gyroSensorError));
    EXPECT_LE((a.imu.gyroSensorError - Eigen::Matrix3d::Identity()).cwiseAbs().maxCoeff(), 0.01);
    EXPECT_NEAR(Eigen::AngleAxisd(a.imuToHeadError.rotation()).angle(), 0.3 * kPi / 180.0, 1e-12);
    EXPECT_NEAR(a.imuToHeadError.translation().norm(), 0.003, 1e-12);

    eSensorProfile parsed = eSensorProfile::Ideal;
    EXPECT_TRUE(ParseSensorProfile("realistic", parsed));
    EXPECT_EQ(parsed, eSensorProfile::Realistic);
    EXPECT_FALSE(ParseSensorProfile("Realistic", parsed));
}

// A random walk's spread grows with the square root of time: variance sigma^2 t.
TEST(SensorProfile, BiasWalkVarianceGrowsLinearlyWithTime) {
    const auto still = cMotionScenario::Create("still", 1);
    sImuModelParams params;
    params.gyroBiasWalk = 1e-3;
    params.accelBiasWalk = 2e-2;
    std::vector<double> gyroAt1, gyroAt4, accelAt4;
    for (uint32_t seed = 1; seed <= 300; ++seed) {
        const cImuModel model(*still, params, seed);
        Eigen::Vector3d a0, g0, a1, g1, a4, g4;
        model.Biases(100000, a0, g0);
        model.Biases(101000, a1, g1);
        model.Biases(104000, a4, g4);
        for (int i = 0; i < 3; ++i) {
            gyroAt1.push_back(g1[i] - g0[i]);
            gyroAt4.push_back(g4[i] - g0[i]);
            accelAt4.push_back(a4[i] - a0[i]);
        }
    }
    // 900 draws: a variance estimate within about 10 % (two standard errors).
    EXPECT_NEAR(MomentsOf(gyroAt1).variance, 1e-6 * 1.0, 0.15 * 1e-6);
    EXPECT_NEAR(MomentsOf(gyroAt4).variance, 1e-6 * 4.0, 0.15 * 4e-6);
    EXPECT_NEAR(MomentsOf(accelAt4).variance, 4e-4 * 4.0, 0.15 * 16e-4);
    EXPECT_NEAR(MomentsOf(gyroAt4).mean, 0.0, 3.0 * std::sqrt(4e-6 / 900.0));

    // The walk reaches the readings, and a model asked out of order agrees.
    params.gyroNoise = 0.0;
    const cImuModel inOrder(*still, params, 9);
    const cImuModel backwards(*still, params, 9);
    backwards.Sample(100000);
    const Eigen::Vector3d late = backwards.Sample(103500).gyroscope;
    inOrder.Sample(100000);
    for (int64_t i = 100001; i < 103500; ++i) inOrder.Sample(i);
    EXPECT_EQ(inOrder.Sample(103500).gyroscope, late);
    EXPECT_GT((late - params.gyroBias).norm(), 0.0);
}

TEST(SensorProfile, ImuStampsJitterAroundTheirInstantsAndKeepOrder) {
    const auto still = cMotionScenario::Create("still", 1);
    const sSensorProfile realistic = MakeSensorProfile(eSensorProfile::Realistic, 3);
    const cImuModel model(*still, realistic.imu, 3);
    std::vector<double> offsets;
    double previous = -1.0;
    for (int64_t i = 500000; i < 520000; ++i) {
        const sImuSample sample = model.Sample(i);
        EXPECT_EQ(sample.trueTime, i / 1000.0);
        offsets.push_back(sample.time - sample.trueTime);
        ASSERT_GT(sample.time, previous);
        previous = sample.time;
    }
    const sMoments m = MomentsOf(offsets);
    EXPECT_NEAR(std::sqrt(m.variance), realistic.imu.sampleTimeJitter, 0.03 * realistic.imu.sampleTimeJitter);
    EXPECT_NEAR(m.mean, 0.0, 2e-6);
}

TEST(SensorProfile, OpticalStampsMisjudgeThePoseTimeByOffsetAndJitter) {
    const auto turns = cMotionScenario::Create("head-turns", 1);
    const sSensorProfile realistic = MakeSensorProfile(eSensorProfile::Realistic, 3);
    const sOpticalModelParams& p = realistic.optical;
    const cOpticalModel model(*turns, p, 3);
    std::vector<double> stampErrors, frameTimes;
    for (int64_t i = 120000; i < 132000; ++i) {
        const sOpticalFrame frame = model.Frame(i);
        stampErrors.push_back(frame.captureTime - frame.truthTime);
        frameTimes.push_back(frame.captureTime - i / p.rate);
        EXPECT_GE(frame.captureTime - frame.truthTime, p.latencyStampError - p.latencyJitter * std::sqrt(2.0 / kPi));
        EXPECT_EQ(frame.deliveryTime, frame.captureTime + p.latency);
    }
    // The stamp error is the offset on average, a half-normal part about it.
    const sMoments stamp = MomentsOf(stampErrors);
    EXPECT_NEAR(stamp.mean, p.latencyStampError, 0.03 * p.latencyJitter);
    EXPECT_NEAR(std::sqrt(MomentsOf(frameTimes).variance), p.frameTimeJitter, 0.03 * p.frameTimeJitter);

    // A server's own stamp gets the same noise, with no frame-time jitter added.
    const sOpticalFrame atStamp = model.FrameAtStamp(1000.0 + 0.0001);
    EXPECT_EQ(atStamp.captureTime, 1000.0001);
    EXPECT_LT(atStamp.truthTime, atStamp.captureTime);
}

TEST(SensorProfile, OcclusionBurstsLastTheirRangeAtTheirRate) {
    const auto still = cMotionScenario::Create("still", 1);
    const sSensorProfile realistic = MakeSensorProfile(eSensorProfile::Realistic, 5);
    const sOpticalModelParams& p = realistic.optical;
    const cOpticalModel model(*still, p, 5);
    std::vector<double> bursts;
    double start = -1.0;
    const double step = 0.001;
    const double span = 4000.0;
    for (double t = 1000.0; t < 1000.0 + span; t += step) {
        const bool occluded = model.Occluded(t);
        if (occluded && start < 0.0) start = t;
        if (!occluded && start >= 0.0) {
            bursts.push_back(t - start);
            start = -1.0;
        }
    }
    ASSERT_FALSE(bursts.empty());
    for (double length : bursts) {
        // Two bursts may run into each other; one alone stays in range.
        EXPECT_GE(length, p.occlusionMin - 2 * step);
        EXPECT_LE(length, 2 * p.occlusionMax + 2 * step);
    }
    const double expected = span / p.occlusionSlot * p.occlusionProbability;  // 300
    EXPECT_NEAR(static_cast<double>(bursts.size()), expected, 4.0 * std::sqrt(expected));
    EXPECT_NEAR(MomentsOf(bursts).mean, 0.5 * (p.occlusionMin + p.occlusionMax), 0.05);

    // Occluded frames never arrive; the ideal profile occludes nothing.
    for (int64_t i = 120000; i < 240000; i += 7) {
        const sOpticalFrame frame = model.Frame(i);
        if (frame.occluded) {
            EXPECT_TRUE(frame.dropped);
        }
    }
    const cOpticalModel ideal(*still, MakeSensorProfile(eSensorProfile::Ideal, 5).optical, 5);
    for (double t = 1000.0; t < 1100.0; t += 0.01) ASSERT_FALSE(ideal.Occluded(t));
}

}  // namespace
}  // namespace sim
