#include "sim/sensor_error_options.h"
#include "sim/sensor_profile.h"
#include "sim/tracking_geometry.h"

#include <gtest/gtest.h>

#include <cmath>

namespace sim {
namespace {

constexpr double kDegree = 3.14159265358979323846 / 180.0;

TEST(SensorError, RigidBodyErrorParsesDegreesAndMillimetresAndRefusesTheRest) {
    Eigen::Isometry3d error;
    std::string reason;
    ASSERT_TRUE(ParseRigidBodyError("0,0,3,10,-20,30", error, reason)) << reason;
    EXPECT_NEAR(Eigen::AngleAxisd(error.rotation()).angle(), 3.0 * kDegree, 1e-12);
    EXPECT_NEAR((Eigen::AngleAxisd(error.rotation()).axis() - Eigen::Vector3d::UnitZ()).norm(), 0.0, 1e-12);
    EXPECT_TRUE(error.translation().isApprox(Eigen::Vector3d(0.010, -0.020, 0.030)));
    for (const char* bad : {"", "1,2,3,4,5", "1,2,3,4,5,6,7", "1,2,3,4,5,", "1,2,x,4,5,6", "nan,0,0,0,0,0",
                            "200,0,0,0,0,0"}) {
        reason.clear();
        EXPECT_FALSE(ParseRigidBodyError(bad, error, reason)) << bad;
        EXPECT_FALSE(reason.empty()) << bad;
    }
    double seconds = 0.0;
    ASSERT_TRUE(ParseLatencyStampErrorMs("2.5", seconds, reason));
    EXPECT_DOUBLE_EQ(seconds, 0.0025);
    EXPECT_FALSE(ParseLatencyStampErrorMs("inf", seconds, reason));
    EXPECT_FALSE(ParseLatencyStampErrorMs("2ms", seconds, reason));
}

TEST(SensorError, StreamedBodyIsTheTrueHeadFrameTimesTheError) {
    const auto motion = cMotionScenario::Create("calibration", 11);
    const sMotionState imu = motion->At(1003.25);
    const Eigen::Isometry3d error = RigidBodyErrorFrom(Eigen::Vector3d(1.0, -2.0, 3.0), Eigen::Vector3d(20, 0, -40));
    const Eigen::Isometry3d alignment(WorldFromTracking());
    const Eigen::Isometry3d trueBody = StreamedRigidBodyPose(imu) * alignment;  // the head frame
    const Eigen::Isometry3d streamed = StreamedRigidBodyPose(imu, Eigen::Isometry3d::Identity(), error) * alignment;
    EXPECT_TRUE((trueBody.inverse() * streamed).isApprox(error, 1e-12));
}

TEST(SensorError, RealisticDrawsAHandMadeRigidBodyPerSeedAndOverridesWin) {
    for (uint32_t seed : {1u, 2u, 3u, 99u}) {
        const sSensorProfile p = MakeSensorProfile(eSensorProfile::Realistic, seed);
        const double angle = Eigen::AngleAxisd(p.rigidBodyError.rotation()).angle();
        EXPECT_GE(angle, 1.0 * kDegree);
        EXPECT_LE(angle, 5.0 * kDegree);
        EXPECT_GE(p.rigidBodyError.translation().norm(), 0.010);
        EXPECT_LE(p.rigidBodyError.translation().norm(), 0.050);
        EXPECT_GT(p.factoryGyroBiasResidual.norm(), 0.0);
        EXPECT_TRUE(p.rigidBodyError.isApprox(MakeSensorProfile(eSensorProfile::Realistic, seed).rigidBodyError));
        // The accelerometer's axes define the IMU frame: nothing below its diagonal.
        EXPECT_EQ(p.imu.accelSensorError(1, 0), 0.0);
        EXPECT_EQ(p.imu.accelSensorError(2, 0), 0.0);
        EXPECT_EQ(p.imu.accelSensorError(2, 1), 0.0);
    }
    EXPECT_FALSE(MakeSensorProfile(eSensorProfile::Realistic, 1)
                     .rigidBodyError.isApprox(MakeSensorProfile(eSensorProfile::Realistic, 2).rigidBodyError));
    EXPECT_TRUE(MakeSensorProfile(eSensorProfile::Ideal, 1).rigidBodyError.isApprox(Eigen::Isometry3d::Identity()));

    sSensorErrorOverrides overrides;
    bool ok = false;
    std::string reason;
    ASSERT_TRUE(TakeSensorErrorOption("--rigid-body-error", "0,0,0,0,0,0", overrides, ok, reason));
    ASSERT_TRUE(ok);
    ASSERT_TRUE(TakeSensorErrorOption("--latency-stamp-error", "1.5", overrides, ok, reason));
    EXPECT_FALSE(TakeSensorErrorOption("--profile", "ideal", overrides, ok, reason));
    const sSensorProfile overridden = MakeSensorProfile(eSensorProfile::Realistic, 1, overrides);
    EXPECT_TRUE(overridden.rigidBodyError.isApprox(Eigen::Isometry3d::Identity()));
    EXPECT_DOUBLE_EQ(overridden.optical.latencyStampError, 0.0015);
    EXPECT_FALSE(overridden.imuToHeadError.isApprox(Eigen::Isometry3d::Identity())) << "still the profile's draw";

    // An exact factory transform leaves every other draw as it was.
    sSensorErrorOverrides exactFactory;
    ASSERT_TRUE(TakeSensorErrorOption("--imu-to-head-error", "0,0,0,0,0,0", exactFactory, ok, reason));
    ASSERT_TRUE(ok) << reason;
    const sSensorProfile drawn = MakeSensorProfile(eSensorProfile::Realistic, 1);
    const sSensorProfile exact = MakeSensorProfile(eSensorProfile::Realistic, 1, exactFactory);
    EXPECT_TRUE(exact.imuToHeadError.isApprox(Eigen::Isometry3d::Identity()));
    EXPECT_TRUE(exact.rigidBodyError.isApprox(drawn.rigidBodyError));
    EXPECT_TRUE(exact.imu.gyroSensorError.isApprox(drawn.imu.gyroSensorError));
    ASSERT_TRUE(TakeSensorErrorOption("--imu-to-head-error", "0,0,1", exactFactory, ok, reason));
    EXPECT_FALSE(ok);
    EXPECT_NE(reason.find("--imu-to-head-error"), std::string::npos) << reason;
}

}  // namespace
}  // namespace sim
