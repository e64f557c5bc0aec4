#include "sim/motion_scenario.h"
#include "sim/offset_motion.h"
#include "sim/tracking_geometry.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <string>

namespace sim {
namespace {

// Rotation vector of q^-1 * r (shorter way), for comparing orientations.
Eigen::Vector3d BodyRotationBetween(const Eigen::Quaterniond& q, const Eigen::Quaterniond& r) {
    Eigen::AngleAxisd delta(q.conjugate() * r);
    Eigen::Vector3d v = delta.angle() * delta.axis();
    if (delta.angle() > EIGEN_PI) v = (delta.angle() - 2.0 * EIGEN_PI) * delta.axis();
    return v;
}

TEST(MotionScenario, KnownNamesCreateAndUnknownGiveNull) {
    const auto names = cMotionScenario::Names();
    for (const char* expected : {"still", "head-turns", "walk", "fast"}) {
        EXPECT_NE(std::find(names.begin(), names.end(), expected), names.end()) << expected;
    }
    for (const std::string& name : names) EXPECT_NE(cMotionScenario::Create(name), nullptr) << name;
    EXPECT_EQ(cMotionScenario::Create("moonwalk"), nullptr);
    EXPECT_EQ(cMotionScenario::Create(""), nullptr);
}

TEST(MotionScenario, SameNameAndSeedGiveTheSameMotionAndOtherSeedsDiffer) {
    for (const std::string& name : cMotionScenario::Names()) {
        const auto a = cMotionScenario::Create(name, 7);
        const auto b = cMotionScenario::Create(name, 7);
        const auto c = cMotionScenario::Create(name, 8);
        for (double t : {0.0, 12.345, 98765.4321}) {
            const sMotionState sa = a->At(t);
            const sMotionState sb = b->At(t);
            EXPECT_EQ(sa.position, sb.position);
            EXPECT_EQ(sa.orientation.coeffs(), sb.orientation.coeffs());
            EXPECT_EQ(sa.angularVelocity, sb.angularVelocity);
        }
        EXPECT_NE(a->At(3.0).position, c->At(3.0).position) << name;
    }
}

// The derivatives must be those of the pose itself, or an IMU built on them lies.
void ExpectRatesAreDerivativesOfThePose(const cMotionScenario& motion, const std::string& label) {
    const double h = 1e-5;
    for (double t = 1000.0; t < 1020.0; t += 0.37) {
        const sMotionState s = motion.At(t);
        const sMotionState before = motion.At(t - h);
        const sMotionState after = motion.At(t + h);
        EXPECT_NEAR(s.orientation.norm(), 1.0, 1e-12);
        const Eigen::Vector3d velocity = (after.position - before.position) / (2 * h);
        const Eigen::Vector3d acceleration = (after.velocity - before.velocity) / (2 * h);
        const Eigen::Vector3d bodyRate = BodyRotationBetween(before.orientation, after.orientation) / (2 * h);
        ASSERT_LT((velocity - s.velocity).norm(), 1e-5 * (1.0 + s.velocity.norm())) << label << " t " << t;
        ASSERT_LT((acceleration - s.acceleration).norm(), 1e-4 * (1.0 + s.acceleration.norm())) << label << " t " << t;
        ASSERT_LT((bodyRate - s.angularVelocity).norm(), 1e-5 * (1.0 + s.angularVelocity.norm())) << label << " t " << t;
    }
}

TEST(MotionScenario, RatesAreTheDerivativesOfThePose) {
    for (const std::string& name : cMotionScenario::Names()) {
        ExpectRatesAreDerivativesOfThePose(*cMotionScenario::Create(name, 2), name);
    }
}

// A simulated WMR headset's IMU is the scenario moved onto the head frame: lever-arm
// velocity and acceleration, and a rate in the frame's own axes, or the fused head
// drifts from the optical one.
TEST(OffsetMotion, RatesAreTheDerivativesOfTheMovedFrame) {
    for (const std::string& name : cMotionScenario::Names()) {
        const cOffsetMotion moved(cMotionScenario::Create(name, 2), HeadsetImuToHead().inverse());
        ExpectRatesAreDerivativesOfThePose(moved, name);
    }
}

TEST(OffsetMotion, FrameIsWhereTheTrackingGeometryPutsTheHead) {
    const auto imu = cMotionScenario::Create("head-turns", 2);
    const cOffsetMotion head(cMotionScenario::Create("head-turns", 2), HeadsetImuToHead().inverse());
    const Eigen::Isometry3d alignment(WorldFromTracking());
    for (double t : {0.5, 3.25, 1234.5}) {
        // What the runtime shows for a WMR head (identity driver-from-head), brought back to tracking space.
        const Eigen::Isometry3d shown =
            alignment.inverse() * WorldPoseOfRigidBody(StreamedRigidBodyPose(imu->At(t)), Eigen::Isometry3d::Identity());
        const sMotionState s = head.At(t);
        EXPECT_LT((s.position - shown.translation()).norm(), 1e-12) << t;
        EXPECT_LT(s.orientation.angularDistance(Eigen::Quaterniond(shown.rotation())), 1e-9) << t;
        // A lever of a few centimetres: the head frame is not the scenario's own.
        EXPECT_GT((s.position - imu->At(t).position).norm(), 0.03) << t;
    }
}

struct sPeaks {
    double maxRate = 0.0;
    double meanSpeed = 0.0;
    double maxHeightChange = 0.0;
};

sPeaks Peaks(const std::string& name) {
    const auto scenario = cMotionScenario::Create(name, 1);
    sPeaks peaks;
    const double height = scenario->At(0.0).position.y();
    int count = 0;
    for (double t = 0.0; t < 60.0; t += 0.001, ++count) {
        const sMotionState s = scenario->At(t);
        peaks.maxRate = std::max(peaks.maxRate, s.angularVelocity.norm());
        peaks.meanSpeed += s.velocity.norm();
        peaks.maxHeightChange = std::max(peaks.maxHeightChange, std::abs(s.position.y() - height));
    }
    peaks.meanSpeed /= count;
    return peaks;
}

TEST(MotionScenario, EachScenarioMovesAsItsNameSays) {
    const sPeaks still = Peaks("still");
    EXPECT_EQ(still.maxRate, 0.0);
    EXPECT_EQ(still.meanSpeed, 0.0);

    const sPeaks headTurns = Peaks("head-turns");
    EXPECT_GT(headTurns.maxRate, 3.0);
    EXPECT_LT(headTurns.maxRate, 5.0);
    EXPECT_LT(headTurns.meanSpeed, 0.2);

    const sPeaks walk = Peaks("walk");
    EXPECT_GT(walk.meanSpeed, 0.85);
    EXPECT_LT(walk.meanSpeed, 1.2);
    EXPECT_GT(walk.maxHeightChange, 0.01);  // head bob

    const sPeaks fast = Peaks("fast");
    EXPECT_GT(fast.maxRate, 7.0);
    EXPECT_LT(fast.maxRate, 10.0);
}

}  // namespace
}  // namespace sim
