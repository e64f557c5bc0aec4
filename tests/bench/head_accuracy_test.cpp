// The soak fails its check on what this judge reports, so it must see a long run
// above the bound and nothing else.
#include "head_accuracy.h"

#include <gtest/gtest.h>

namespace soak {
namespace {

constexpr double kStart = 1000.0;
constexpr double kRate = 1000.0;

// Poses at 1 kHz from `from` for `seconds`, each with the given errors.
void Feed(cHeadAccuracy& accuracy, double from, double seconds, double position, double orientation) {
    for (int i = 0; i < static_cast<int>(seconds * kRate); ++i)
        accuracy.Add(kStart + from + i / kRate, position, orientation);
}

TEST(SoakHeadAccuracy, OnlyARunAboveTheBoundLongerThanAllowedIsAViolation) {
    cHeadAccuracy accuracy(sAccuracyBound{}, kStart);
    Feed(accuracy, 0.0, 10.0, 0.001, 0.001);
    Feed(accuracy, 10.0, 0.4, 0.02, 0.001);  // position above, shorter than 0.5 s
    Feed(accuracy, 10.4, 1.0, 0.001, 0.001);
    Feed(accuracy, 11.4, 0.4, 0.001, 0.05);  // orientation above, short
    Feed(accuracy, 11.8, 1.0, 0.001, 0.001);
    EXPECT_TRUE(accuracy.Violations().empty());

    Feed(accuracy, 20.0, 0.8, 0.001, 0.05);
    Feed(accuracy, 20.8, 1.0, 0.001, 0.001);
    ASSERT_EQ(accuracy.Violations().size(), 1u);
    EXPECT_NEAR(accuracy.Violations()[0].from, 20.0, 1e-6);
    EXPECT_NEAR(accuracy.Violations()[0].seconds, 0.8, 0.002);

    // A run that never comes back below the bound is counted all the same.
    Feed(accuracy, 30.0, 2.0, 0.5, 0.001);
    ASSERT_EQ(accuracy.Violations().size(), 2u);
    EXPECT_NEAR(accuracy.Violations()[1].seconds, 2.0, 0.002);
}

TEST(SoakHeadAccuracy, ExcludedWindowsAreNeitherJudgedNorCounted) {
    cHeadAccuracy accuracy(sAccuracyBound{}, kStart);
    Feed(accuracy, 0.0, 30.0, 0.002, 0.001);
    Feed(accuracy, 30.0, 0.3, 0.05, 0.001);  // rises just before a fault
    accuracy.SetExcluded(true);
    Feed(accuracy, 30.3, 5.0, 1.0, 1.0);
    accuracy.SetExcluded(false);
    Feed(accuracy, 35.3, 0.3, 0.05, 0.001);  // a new run, not joined to the one before
    Feed(accuracy, 35.6, 40.0, 0.004, 0.001);
    EXPECT_TRUE(accuracy.Violations().empty());

    const auto minutes = accuracy.Minutes();
    ASSERT_EQ(minutes.size(), 2u);
    EXPECT_EQ(minutes[0].judged, 60000u - 5000u);
    EXPECT_NEAR(minutes[0].positionMaxMm, 50.0, 1e-9);
    EXPECT_EQ(minutes[1].judged, 15600u);
    EXPECT_NEAR(minutes[1].positionRmsMm, 4.0, 1e-9);
    EXPECT_NEAR(minutes[1].orientationMaxDeg, 0.001 * 57.29577951308232, 1e-9);
}

}  // namespace
}  // namespace soak
