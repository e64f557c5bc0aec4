#include "filter_test_support.h"

#include <gtest/gtest.h>

#include <limits>

namespace halvex {
namespace {

using test::AddImu;
using test::AddOptical;

void ExpectInitialState(const cFusionFilter& filter) {
    for (int i = 0; i < 19; ++i) EXPECT_EQ(filter.mState[i], i == 6 ? 1.0 : 0.0) << "state " << i;
    Matrix18d expected = Matrix18d::Zero();
    for (int i = 0; i < 9; ++i) expected(i, i) = 1e10;
    for (int i = 9; i < 15; ++i) expected(i, i) = 10.0 * 1e-8;
    for (int i = 15; i < 18; ++i) expected(i, i) = 100.0;
    EXPECT_EQ(filter.mCovariance, expected);
}

TEST(FusionFilterLifecycle, FreshFilterOfEitherHeadType) {
    for (const sFusionFilterParams& params : {test::kLighthouseParams, test::kWmrParams}) {
        const cFusionFilter filter(params);
        ExpectInitialState(filter);
        EXPECT_EQ(filter.mDelayedState, filter.mState);
        EXPECT_EQ(filter.mDelayedCovariance, filter.mCovariance);
        EXPECT_EQ(filter.mDelayedTime, 1.7976931348623157e308);
        EXPECT_EQ(filter.mLastImuTime, 0.0);
        EXPECT_EQ(filter.mLastOpticalTime, 0.0);
        EXPECT_EQ(filter.BufferCount(), 0);
        EXPECT_EQ(filter.BufferHead(), 0);
    }
}

TEST(FusionFilterLifecycle, ImuSamplesAloneStartTheClockAndBufferButNeverMoveTheState) {
    cFusionFilter filter(test::kLighthouseParams);
    EXPECT_FALSE(AddImu(filter, 5.0));
    EXPECT_EQ(filter.mLastImuTime, 5.0);
    EXPECT_EQ(filter.BufferCount(), 0);

    EXPECT_TRUE(AddImu(filter, 5.001));
    EXPECT_EQ(filter.BufferCount(), 1);
    EXPECT_EQ(filter.mDelayedTime, 5.001);
    EXPECT_EQ(filter.BufferedRecord(0).time, 5.001);
    EXPECT_EQ(filter.BufferedRecord(0).dt, 5.001 - 5.0);

    double time = 5.001;
    for (int i = 0; i < 200; ++i) {
        time += 0.001;
        EXPECT_TRUE(AddImu(filter, time));
    }
    ExpectInitialState(filter);
    EXPECT_EQ(filter.BufferCount(), cFusionFilter::kImuBufferSize);
    EXPECT_EQ(filter.BufferedRecord(0).time, time);
    // The delayed time is that of the last step pushed out of the full buffer.
    EXPECT_NEAR(filter.mDelayedTime, time - 0.050, 1e-9);
}

TEST(FusionFilterLifecycle, RingBufferWrapsWithNewestAtHead) {
    cFusionFilter filter(test::kLighthouseParams);
    AddImu(filter, 1.0);
    for (int i = 1; i <= 120; ++i) {
        AddImu(filter, 1.0 + i * 0.001, Eigen::Vector3d(i, 0, 0), Eigen::Vector3d::Zero());
        const int32_t expectedHead = ((-i) % 50 + 50) % 50;
        ASSERT_EQ(filter.BufferHead(), expectedHead) << "after sample " << i;
        ASSERT_EQ(filter.BufferCount(), std::min(i, 50));
        ASSERT_EQ(filter.mBuffer[expectedHead].accelerometer.x(), i);
    }
    for (int k = 0; k < 50; ++k) EXPECT_EQ(filter.BufferedRecord(k).accelerometer.x(), 120 - k);
}

TEST(FusionFilterLifecycle, FiftyFirstSampleMovesTheDelayedCopyByTheOldestStep) {
    double opticalTime = 0.0;
    double lastImuTime = 0.0;
    cFusionFilter filter = test::RunningFilter(50, opticalTime, lastImuTime);
    ASSERT_EQ(filter.BufferCount(), 50);
    // The oldest buffered step was applied when the buffer was empty; since then it
    // owes nothing to the delayed copy, so the second oldest is the first step that moves it.
    cFusionFilter expected = filter;
    const sImuRecord oldest = filter.BufferedRecord(49);

    AddImu(filter, lastImuTime + 0.001);
    EXPECT_EQ(filter.BufferCount(), 50);
    EXPECT_EQ(filter.mDelayedTime, oldest.time);
    expected.Propagate(expected.mDelayedState, expected.mDelayedCovariance, oldest.accelerometer,
                       oldest.gyroscope, oldest.dt);
    EXPECT_EQ(filter.mDelayedState, expected.mDelayedState);
    EXPECT_EQ(filter.mDelayedCovariance, expected.mDelayedCovariance);

    const sImuRecord secondOldest = filter.BufferedRecord(49);
    const Vector19d before = filter.mDelayedState;
    AddImu(filter, lastImuTime + 0.002);
    EXPECT_EQ(filter.mDelayedTime, secondOldest.time);
    EXPECT_GT((filter.mDelayedState - before).norm(), 0.0);
}

TEST(FusionFilterLifecycle, ResetByAssignmentReturnsToFresh) {
    double opticalTime = 0.0;
    double lastImuTime = 0.0;
    cFusionFilter filter = test::RunningFilter(30, opticalTime, lastImuTime);
    filter = cFusionFilter(test::kLighthouseParams);
    ExpectInitialState(filter);
    EXPECT_EQ(filter.mLastImuTime, 0.0);
    EXPECT_EQ(filter.mLastOpticalTime, 0.0);
    EXPECT_EQ(filter.BufferCount(), 0);
    EXPECT_EQ(filter.mDelayedTime, 1.7976931348623157e308);
}

TEST(FusionFilterLifecycle, CopiesEvolveIdentically) {
    double opticalTime = 0.0;
    double lastImuTime = 0.0;
    cFusionFilter original = test::RunningFilter(30, opticalTime, lastImuTime);
    cFusionFilter copy = original;
    for (cFusionFilter* filter : {&original, &copy}) {
        AddImu(*filter, lastImuTime + 0.001);
        AddOptical(*filter, lastImuTime - 0.0125);
    }
    EXPECT_EQ(copy.mState, original.mState);
    EXPECT_EQ(copy.mCovariance, original.mCovariance);
    EXPECT_EQ(copy.mDelayedTime, original.mDelayedTime);
    for (int k = 0; k < original.BufferCount(); ++k) {
        EXPECT_EQ(copy.BufferedRecord(k).dt, original.BufferedRecord(k).dt);
    }
}

// A NaN that got in would stay for good (a NaN time even defeats the owner's
// time-order check), so non-finite samples are refused and leave the filter as it was.
TEST(FusionFilterLifecycle, NonFiniteSamplesAreRefusedAndLeaveTheFilterUntouched) {
    double opticalTime = 0.0, lastImuTime = 0.0;
    cFusionFilter filter = test::RunningFilter(5, opticalTime, lastImuTime);
    const cFusionFilter before = filter;
    const double nan = std::numeric_limits<double>::quiet_NaN();
    const double inf = std::numeric_limits<double>::infinity();
    EXPECT_FALSE(AddImu(filter, nan));
    EXPECT_FALSE(AddImu(filter, lastImuTime + 0.001, Eigen::Vector3d(nan, 9.81, 0.0), Eigen::Vector3d::Zero()));
    EXPECT_FALSE(AddImu(filter, lastImuTime + 0.001, Eigen::Vector3d(0.0, 9.81, 0.0), Eigen::Vector3d(0.0, inf, 0.0)));
    EXPECT_EQ(AddOptical(filter, nan).status, FilterUpdate_Refused);
    EXPECT_EQ(AddOptical(filter, opticalTime + 0.002, Eigen::Vector3d(0.0, nan, 0.0), Eigen::Quaterniond::Identity()).status,
              FilterUpdate_Refused);
    EXPECT_EQ(AddOptical(filter, opticalTime + 0.002, Eigen::Vector3d(0.0, 1.6, 0.0), Eigen::Quaterniond(nan, 0, 0, 1)).status,
              FilterUpdate_Refused);
    EXPECT_EQ(filter.mState, before.mState);
    EXPECT_EQ(filter.mCovariance, before.mCovariance);
    EXPECT_EQ(filter.mLastImuTime, lastImuTime);
    EXPECT_EQ(filter.mLastOpticalTime, opticalTime);
    EXPECT_EQ(filter.BufferCount(), before.BufferCount());
    EXPECT_TRUE(filter.IsFinite());
    EXPECT_TRUE(AddImu(filter, lastImuTime + 0.001)) << "the next good sample is taken";
}

TEST(FusionFilterLifecycle, ReadingsThatOverflowTheStateAreSeenAsNotFinite) {
    double opticalTime = 0.0, lastImuTime = 0.0;
    cFusionFilter filter = test::RunningFilter(5, opticalTime, lastImuTime);
    ASSERT_TRUE(filter.IsFinite());
    for (int i = 1; i <= 3; ++i)
        AddImu(filter, lastImuTime + 0.001 * i, Eigen::Vector3d(1e308, -1e308, 1e308), Eigen::Vector3d::Zero());
    EXPECT_FALSE(filter.IsFinite());
}

}  // namespace
}  // namespace halvex
