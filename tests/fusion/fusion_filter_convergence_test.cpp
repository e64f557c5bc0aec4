// The filter against simulated truth: sensors with noise, bias, latency and
// dropouts; the fused pose must settle onto the truth and beat the late optical pose.
#include "filter_test_support.h"

#include "fusion/head_filter_setups.h"
#include "sim/imu_model.h"
#include "sim/motion_scenario.h"
#include "sim/optical_model.h"

#include <gtest/gtest.h>

#include <cmath>

namespace halvex {
namespace {

struct sErrors {
    double fusedPositionRms = 0.0;
    double fusedOrientationRms = 0.0;
    double opticalOrientationRms = 0.0;
    Eigen::Vector3d gravity = Eigen::Vector3d::Zero();
    Eigen::Vector3d velocityError = Eigen::Vector3d::Zero();
};

sErrors RunScenario(const std::string& name, double seconds, double settle) {
    const auto scenario = sim::cMotionScenario::Create(name, 3);
    const sim::cImuModel imu(*scenario, sim::sImuModelParams(), 3);
    const sim::cOpticalModel optical(*scenario, sim::sOpticalModelParams(), 3);
    cFusionFilter filter(test::kLighthouseParams);

    const double start = 2000.0;
    int64_t frameIndex = optical.FirstIndexAtOrAfter(start);
    sim::sOpticalFrame frame = optical.Frame(frameIndex);
    sim::sOpticalFrame newest;
    bool haveOptical = false;
    double positionSum = 0.0, fusedSum = 0.0, opticalSum = 0.0;
    long count = 0;
    for (int64_t i = imu.FirstIndexAtOrAfter(start); i < imu.FirstIndexAtOrAfter(start + seconds); ++i) {
        const sim::sImuSample sample = imu.Sample(i);
        for (; frame.deliveryTime <= sample.time; frame = optical.Frame(++frameIndex)) {
            if (frame.dropped) continue;
            test::AddOptical(filter, frame.captureTime, frame.position, frame.orientation);
            newest = frame;
            haveOptical = true;
        }
        test::AddImu(filter, sample.time, sample.accelerometer, sample.gyroscope);
        if (sample.time < start + settle || !haveOptical) continue;
        const sim::sMotionState truth = scenario->At(sample.time);
        positionSum += (filter.Position() - truth.position).squaredNorm();
        fusedSum += std::pow(filter.Orientation().angularDistance(truth.orientation), 2);
        opticalSum += std::pow(newest.orientation.angularDistance(truth.orientation), 2);
        ++count;
    }
    sErrors errors;
    errors.fusedPositionRms = std::sqrt(positionSum / count);
    errors.fusedOrientationRms = std::sqrt(fusedSum / count);
    errors.opticalOrientationRms = std::sqrt(opticalSum / count);
    errors.gravity = filter.mState.segment<3>(FusionState_Gravity);
    errors.velocityError = filter.Velocity() - scenario->At(filter.mLastImuTime).velocity;
    return errors;
}

TEST(FusionFilterConvergence, HeadTurnsSettleOntoTheTruth) {
    const sErrors errors = RunScenario("head-turns", 10.0, 4.0);
    EXPECT_LT(errors.fusedPositionRms, 0.001);
    EXPECT_LT(errors.fusedOrientationRms, 0.5 * EIGEN_PI / 180.0);
    EXPECT_LT(errors.fusedOrientationRms, 0.2 * errors.opticalOrientationRms);
    EXPECT_LT((errors.gravity - Eigen::Vector3d(0.0, -sim::kGravity, 0.0)).norm(), 0.05);
    EXPECT_LT(errors.velocityError.norm(), 0.02);
}

TEST(FusionFilterConvergence, WalkingTracksTranslation) {
    const sErrors errors = RunScenario("walk", 8.0, 4.0);
    EXPECT_LT(errors.fusedPositionRms, 0.001);
    EXPECT_LT(errors.fusedOrientationRms, 0.5 * EIGEN_PI / 180.0);
    EXPECT_LT(errors.velocityError.norm(), 0.02);
}

// A WMR head has no factory biases to start from: its filter must learn biases of
// the size an uncalibrated IMU has within a session, not hold them near zero.
TEST(FusionFilterConvergence, WmrHeadLearnsUncalibratedBiases) {
    const auto scenario = sim::cMotionScenario::Create("head-turns", 5);
    sim::sImuModelParams imuParams;
    imuParams.accelBias = {0.2, -0.15, 0.1};
    imuParams.gyroBias = {0.003, -0.002, 0.0025};
    const sim::cImuModel imu(*scenario, imuParams, 5);
    const sim::cOpticalModel optical(*scenario, sim::sOpticalModelParams(), 5);
    cFusionFilter filter(kWmrHeadFilterParams);
    const double start = 3000.0;
    int64_t frameIndex = optical.FirstIndexAtOrAfter(start);
    sim::sOpticalFrame frame = optical.Frame(frameIndex);
    for (int64_t i = imu.FirstIndexAtOrAfter(start); i < imu.FirstIndexAtOrAfter(start + 60.0); ++i) {
        const sim::sImuSample sample = imu.Sample(i);
        for (; frame.deliveryTime <= sample.time; frame = optical.Frame(++frameIndex)) {
            if (frame.dropped) continue;
            const double xyzw[4] = {frame.orientation.x(), frame.orientation.y(), frame.orientation.z(),
                                    frame.orientation.w()};
            filter.AddOpticalSample(frame.position.data(), 0.0001, xyzw, test::kOrientationVariance,
                                    frame.captureTime, 0.0);
        }
        test::AddImu(filter, sample.time, sample.accelerometer, sample.gyroscope);
    }
    const Eigen::Vector3d accelBias = filter.mState.segment<3>(FusionState_AccelBias);
    const Eigen::Vector3d gyroBias = filter.mState.segment<3>(FusionState_GyroBias);
    EXPECT_LT((accelBias - imuParams.accelBias).norm(), 0.05) << accelBias.transpose();
    EXPECT_LT((gyroBias - imuParams.gyroBias).norm(), 0.0005) << gyroBias.transpose();
}

}  // namespace
}  // namespace halvex
