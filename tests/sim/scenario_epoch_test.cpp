#include "sim/scenario_epoch.h"

#include <gtest/gtest.h>

namespace sim {
namespace {

TEST(ScenarioEpoch, MotionStartedAtAnEpochIsTheScenarioThatManySecondsLater) {
    const double epoch = 51234.5;
    const auto shifted = StartedAt(cMotionScenario::Create("calibration", 7), epoch);
    const auto plain = cMotionScenario::Create("calibration", 7);
    for (double t : {0.0, 3.25, 17.0}) {
        const sMotionState a = shifted->At(epoch + t);
        const sMotionState b = plain->At(t);
        EXPECT_TRUE(a.position.isApprox(b.position, 1e-12)) << t;
        EXPECT_TRUE(a.orientation.isApprox(b.orientation, 1e-12)) << t;
        EXPECT_TRUE(a.angularVelocity.isApprox(b.angularVelocity, 1e-9)) << t;
    }
    // No epoch: the scenario itself, not a wrapper that could shift it.
    auto same = cMotionScenario::Create("walk", 3);
    const cMotionScenario* raw = same.get();
    EXPECT_EQ(StartedAt(std::move(same), 0.0).get(), raw);
    EXPECT_EQ(StartedAt(nullptr, epoch), nullptr);
}

TEST(ScenarioEpoch, OptionTakesNowOrSecondsAndRefusesTheRest) {
    double epoch = -1.0;
    std::string reason;
    ASSERT_TRUE(ParseScenarioEpoch("now", 812.25, epoch, reason));
    EXPECT_DOUBLE_EQ(epoch, 812.25);
    ASSERT_TRUE(ParseScenarioEpoch("1234.000001", 0.0, epoch, reason));
    EXPECT_DOUBLE_EQ(epoch, 1234.000001);
    for (const char* bad : {"", "-1", "inf", "nan", "12s", "later"}) {
        epoch = 5.0;
        reason.clear();
        EXPECT_FALSE(ParseScenarioEpoch(bad, 0.0, epoch, reason)) << bad;
        EXPECT_NE(reason.find("--scenario-epoch"), std::string::npos) << bad;
        EXPECT_DOUBLE_EQ(epoch, 5.0) << "a refused value leaves the epoch alone";
    }
}

}  // namespace
}  // namespace sim
