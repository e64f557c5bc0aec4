#include "sim/imu_model.h"
#include "sim/motion_scenario.h"
#include "sim/optical_model.h"

#include <gtest/gtest.h>

#include <cmath>

namespace sim {
namespace {

sImuModelParams Perfect() {
    sImuModelParams params;
    params.accelNoise = 0.0;
    params.gyroNoise = 0.0;
    params.accelBias.setZero();
    params.gyroBias.setZero();
    return params;
}

TEST(ImuModel, AtRestReadsGravityUpwardsInTheBodyFrame) {
    const auto still = cMotionScenario::Create("still", 4);
    const cImuModel imu(*still, Perfect(), 1);
    const sImuSample sample = imu.Sample(123456);
    EXPECT_EQ(sample.time, 123.456);
    const Eigen::Quaterniond q = still->At(sample.time).orientation;
    EXPECT_TRUE((q * sample.accelerometer).isApprox(Eigen::Vector3d(0.0, kGravity, 0.0), 1e-12));
    EXPECT_EQ(sample.gyroscope, Eigen::Vector3d::Zero());
}

TEST(ImuModel, MountingRotationTurnsTheReadings) {
    const auto scenario = cMotionScenario::Create("head-turns", 1);
    sImuModelParams rotated = Perfect();
    rotated.imuFromBody = Eigen::Quaterniond(Eigen::AngleAxisd(0.7, Eigen::Vector3d::UnitZ()));
    const sImuSample plain = cImuModel(*scenario, Perfect(), 1).Sample(5000);
    const sImuSample turned = cImuModel(*scenario, rotated, 1).Sample(5000);
    EXPECT_TRUE(turned.accelerometer.isApprox(rotated.imuFromBody * plain.accelerometer, 1e-12));
    EXPECT_TRUE(turned.gyroscope.isApprox(rotated.imuFromBody * plain.gyroscope, 1e-12));
}

// Strapdown integration of perfect readings must reproduce the truth: the readings
// carry the right frames and signs.
TEST(ImuModel, DeadReckoningPerfectReadingsFollowsTheTruth) {
    for (const char* name : {"head-turns", "walk", "fast"}) {
        const auto scenario = cMotionScenario::Create(name, 5);
        const cImuModel imu(*scenario, Perfect(), 1);
        const int64_t first = 100000;
        sMotionState state = scenario->At(imu.Sample(first).time);
        sImuSample previous = imu.Sample(first);
        for (int64_t i = first + 1; i <= first + 1000; ++i) {
            const sImuSample sample = imu.Sample(i);
            const double dt = sample.time - previous.time;
            // Trapezoid on rotation and acceleration.
            const Eigen::Vector3d rate = 0.5 * (previous.gyroscope + sample.gyroscope);
            const Eigen::Vector3d worldBefore = state.orientation * previous.accelerometer;
            const double angle = (rate * dt).norm();
            const Eigen::Quaterniond next = (state.orientation *
                Eigen::Quaterniond(Eigen::AngleAxisd(angle, angle > 0 ? (rate / rate.norm()).eval() : Eigen::Vector3d::UnitX().eval()))).normalized();
            const Eigen::Vector3d worldAfter = next * sample.accelerometer;
            const Eigen::Vector3d acceleration =
                0.5 * (worldBefore + worldAfter) - Eigen::Vector3d(0.0, kGravity, 0.0);
            state.position += state.velocity * dt + 0.5 * acceleration * dt * dt;
            state.velocity += acceleration * dt;
            state.orientation = next;
            previous = sample;
        }
        const sMotionState truth = scenario->At(previous.time);
        EXPECT_LT(truth.orientation.angularDistance(state.orientation), 2e-4) << name;
        EXPECT_LT((truth.velocity - state.velocity).norm(), 2e-3) << name;
        EXPECT_LT((truth.position - state.position).norm(), 1e-3) << name;
    }
}

TEST(ImuModel, NoiseAndBiasHaveTheGivenStatistics) {
    const auto still = cMotionScenario::Create("still", 1);
    sImuModelParams params;
    params.accelNoise = 0.05;
    params.gyroNoise = 0.004;
    const cImuModel imu(*still, params, 9);
    const cImuModel perfect(*still, Perfect(), 9);
    const int n = 20000;
    Eigen::Vector3d accelSum = Eigen::Vector3d::Zero(), gyroSum = Eigen::Vector3d::Zero();
    Eigen::Vector3d accelSquares = Eigen::Vector3d::Zero(), gyroSquares = Eigen::Vector3d::Zero();
    for (int i = 0; i < n; ++i) {
        const Eigen::Vector3d a = imu.Sample(i).accelerometer - perfect.Sample(i).accelerometer;
        const Eigen::Vector3d g = imu.Sample(i).gyroscope;
        accelSum += a;
        gyroSum += g;
        accelSquares += (a - params.accelBias).cwiseAbs2();
        gyroSquares += (g - params.gyroBias).cwiseAbs2();
    }
    EXPECT_TRUE((accelSum / n - params.accelBias).cwiseAbs().maxCoeff() < 4 * params.accelNoise / std::sqrt(n));
    EXPECT_TRUE((gyroSum / n - params.gyroBias).cwiseAbs().maxCoeff() < 4 * params.gyroNoise / std::sqrt(n));
    for (int axis = 0; axis < 3; ++axis) {
        EXPECT_NEAR(std::sqrt(accelSquares[axis] / n), params.accelNoise, 0.05 * params.accelNoise);
        EXPECT_NEAR(std::sqrt(gyroSquares[axis] / n), params.gyroNoise, 0.05 * params.gyroNoise);
    }
    // Same seed and index, same reading, whatever the call order.
    EXPECT_EQ(imu.Sample(17).accelerometer, cImuModel(*still, params, 9).Sample(17).accelerometer);
    EXPECT_NE(imu.Sample(17).accelerometer, cImuModel(*still, params, 10).Sample(17).accelerometer);
}

TEST(OpticalModel, FramesSitOnTheGridAndArriveAfterTheLatency) {
    const auto scenario = cMotionScenario::Create("walk", 1);
    sOpticalModelParams params;
    params.rate = 120.0;
    params.latency = 0.012;
    const cOpticalModel optical(*scenario, params, 1);
    const int64_t index = optical.FirstIndexAtOrAfter(500.001);
    const sOpticalFrame frame = optical.Frame(index);
    EXPECT_GE(frame.captureTime, 500.001);
    EXPECT_LT(frame.captureTime - 1.0 / 120.0, 500.001);
    EXPECT_EQ(frame.deliveryTime, frame.captureTime + 0.012);
    EXPECT_NEAR(optical.Frame(index + 1).captureTime - frame.captureTime, 1.0 / 120.0, 1e-12);
}

TEST(OpticalModel, NoiseAndDropoutsHaveTheGivenStatistics) {
    const auto scenario = cMotionScenario::Create("head-turns", 1);
    sOpticalModelParams params;
    params.positionNoise = 0.001;
    params.orientationNoise = 0.01;
    params.dropProbability = 0.1;
    const cOpticalModel optical(*scenario, params, 3);
    const int n = 20000;
    int dropped = 0;
    double positionSquares = 0.0, angleSquares = 0.0;
    for (int i = 0; i < n; ++i) {
        const sOpticalFrame frame = optical.Frame(i);
        const sMotionState truth = scenario->At(frame.captureTime);
        dropped += frame.dropped ? 1 : 0;
        positionSquares += (frame.position - truth.position).squaredNorm();
        angleSquares += std::pow(truth.orientation.angularDistance(frame.orientation), 2);
    }
    EXPECT_NEAR(dropped / double(n), 0.1, 0.01);
    EXPECT_NEAR(std::sqrt(positionSquares / (3.0 * n)), params.positionNoise, 0.03 * params.positionNoise);
    EXPECT_NEAR(std::sqrt(angleSquares / (3.0 * n)), params.orientationNoise, 0.03 * params.orientationNoise);

    sOpticalModelParams exact;
    exact.positionNoise = 0.0;
    exact.orientationNoise = 0.0;
    exact.dropProbability = 0.0;
    const sOpticalFrame clean = cOpticalModel(*scenario, exact, 3).Frame(42);
    EXPECT_EQ(clean.position, scenario->At(clean.captureTime).position);
    EXPECT_FALSE(clean.dropped);
}

}  // namespace
}  // namespace sim
