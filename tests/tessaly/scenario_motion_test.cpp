#include "scenario_motion.h"

#include <gtest/gtest.h>

namespace {

// Runs started at their own epochs must see the same stream, occlusion bursts
// included, or paired comparisons measure chance.
TEST(ScenarioRigidBodyMotion, StartedAtAnEpochStreamsWhatTheUnshiftedScenarioStreamsThatMuchEarlier) {
    const double epoch = 4096.0;  // with steps of 1/128 s every sum is exact
    const auto plain = corvane_sim::ScenarioRigidBodyMotion("head-turns", 5, sim::eSensorProfile::Realistic);
    const auto shifted =
        corvane_sim::ScenarioRigidBodyMotion("head-turns", 5, sim::eSensorProfile::Realistic, 120.0, {}, epoch);
    int untracked = 0;
    for (int k = 0; k < 128 * 40; ++k) {
        const double t = k / 128.0;
        const auto a = plain(t);
        const auto b = shifted(epoch + t);
        ASSERT_EQ(a.tracked, b.tracked) << t;
        untracked += a.tracked ? 0 : 1;
        for (int i = 0; i < 3; ++i) ASSERT_EQ(a.position[i], b.position[i]) << t;
        for (int i = 0; i < 4; ++i) ASSERT_EQ(a.orientation[i], b.orientation[i]) << t;
    }
    EXPECT_GT(untracked, 0) << "40 s of the realistic profile hold occlusion bursts to compare";
    // Without the shift the same clock second is another stretch of the scenario.
    EXPECT_NE(plain(epoch + 1.0).position[0], shifted(epoch + 1.0).position[0]);
}

}  // namespace
