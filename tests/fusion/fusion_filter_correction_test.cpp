#include "filter_test_support.h"

#include "fusion/rotation_math.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

namespace halvex {
namespace {

using test::AddImu;
using test::AddOptical;

void ExpectSameFilter(const cFusionFilter& a, const cFusionFilter& b) {
    EXPECT_EQ(a.mState, b.mState);
    EXPECT_EQ(a.mCovariance, b.mCovariance);
    EXPECT_EQ(a.mDelayedState, b.mDelayedState);
    EXPECT_EQ(a.mDelayedCovariance, b.mDelayedCovariance);
    EXPECT_EQ(a.mDelayedTime, b.mDelayedTime);
    EXPECT_EQ(a.mLastImuTime, b.mLastImuTime);
    EXPECT_EQ(a.mLastOpticalTime, b.mLastOpticalTime);
    EXPECT_EQ(a.BufferCount(), b.BufferCount());
    EXPECT_EQ(a.BufferHead(), b.BufferHead());
}

TEST(FusionFilterCorrection, RefusesWithoutABufferedStepOrWhenOlderThanTheDelayedCopy) {
    cFusionFilter filter(test::kLighthouseParams);
    EXPECT_EQ(AddOptical(filter, 1.0).status, FilterUpdate_Refused);
    AddImu(filter, 1.0);
    EXPECT_EQ(AddOptical(filter, 1.0).status, FilterUpdate_Refused);
    ExpectSameFilter(filter, [] {
        cFusionFilter expected(test::kLighthouseParams);
        AddImu(expected, 1.0);
        return expected;
    }());

    double opticalTime = 0.0;
    double lastImuTime = 0.0;
    cFusionFilter running = test::RunningFilter(60, opticalTime, lastImuTime);
    const cFusionFilter before = running;
    // Ten steps have been pushed out of the buffer: their time is gone.
    const sFilterUpdateResult result = AddOptical(running, before.mDelayedTime - 1e-6);
    EXPECT_EQ(result.status, FilterUpdate_Refused);
    ExpectSameFilter(running, before);
}

TEST(FusionFilterCorrection, FirstFixPullsTheFreshStateOntoTheMeasurement) {
    cFusionFilter filter(test::kLighthouseParams);
    double time = 3.0;
    AddImu(filter, time);
    for (int i = 0; i < 10; ++i) AddImu(filter, time += 0.001);
    const Eigen::Vector3d position(0.4, 1.7, -0.6);
    const Eigen::Quaterniond orientation(Eigen::AngleAxisd(2.5, Eigen::Vector3d(0.3, 0.9, -0.2).normalized()));
    const sFilterUpdateResult result = AddOptical(filter, time, position, orientation);
    EXPECT_EQ(result.status, FilterUpdate_Corrected);
    EXPECT_EQ(filter.mLastOpticalTime, time);
    EXPECT_EQ(filter.BufferCount(), 0);
    EXPECT_LT((filter.Position() - position).norm(), 1e-9);
    EXPECT_LT(filter.Orientation().angularDistance(orientation), 1e-6);
    EXPECT_NEAR(filter.mCovariance(0, 0), test::kPositionVariance, 1e-9);
}

TEST(FusionFilterCorrection, OpticalTimeInsideAStepSplitsIt) {
    double opticalTime = 0.0;
    double lastImuTime = 0.0;
    cFusionFilter filter = test::RunningFilter(10, opticalTime, lastImuTime);
    // Records at opticalTime + 1..10 ms; the sample falls 0.3 ms into the fourth.
    const double t = opticalTime + 0.0033;
    const sImuRecord fourth = filter.BufferedRecord(6);
    ASSERT_NEAR(fourth.time, opticalTime + 0.004, 1e-12);

    AddOptical(filter, t);
    EXPECT_EQ(filter.mLastOpticalTime, t);
    EXPECT_EQ(filter.BufferCount(), 7);
    const sImuRecord& oldest = filter.BufferedRecord(6);
    EXPECT_EQ(oldest.time, fourth.time);
    EXPECT_NEAR(oldest.dt, fourth.time - t, 1e-15);
    EXPECT_NEAR(filter.mDelayedTime, t, 1e-15);
}

TEST(FusionFilterCorrection, OpticalTimeEqualToARecordConsumesItWhole) {
    double opticalTime = 0.0;
    double lastImuTime = 0.0;
    cFusionFilter filter = test::RunningFilter(10, opticalTime, lastImuTime);
    const double t = filter.BufferedRecord(5).time;
    const sImuRecord next = filter.BufferedRecord(4);
    AddOptical(filter, t);
    EXPECT_EQ(filter.BufferCount(), 5);
    EXPECT_EQ(filter.mDelayedTime, t);
    EXPECT_EQ(filter.BufferedRecord(4).dt, next.dt);
}

TEST(FusionFilterCorrection, ReplayRebuildsTheCurrentStateFromTheCorrectedDelayedCopy) {
    double opticalTime = 0.0;
    double lastImuTime = 0.0;
    cFusionFilter filter = test::RunningFilter(20, opticalTime, lastImuTime);
    AddOptical(filter, opticalTime + 0.0075);
    ASSERT_GT(filter.BufferCount(), 0);

    Vector19d state = filter.mDelayedState;
    Matrix18d covariance = filter.mDelayedCovariance;
    for (int k = filter.BufferCount() - 1; k >= 0; --k) {
        const sImuRecord& record = filter.BufferedRecord(k);
        filter.Propagate(state, covariance, record.accelerometer, record.gyroscope, record.dt);
    }
    EXPECT_EQ(filter.mState, state);
    EXPECT_EQ(filter.mCovariance, covariance);
}

TEST(FusionFilterCorrection, SampleNewerThanEveryStepEmptiesTheBuffer) {
    double opticalTime = 0.0;
    double lastImuTime = 0.0;
    cFusionFilter filter = test::RunningFilter(10, opticalTime, lastImuTime);
    AddOptical(filter, lastImuTime + 0.002);
    EXPECT_EQ(filter.BufferCount(), 0);
    EXPECT_EQ(filter.mDelayedTime, lastImuTime);
    EXPECT_EQ(filter.mState, filter.mDelayedState);
    EXPECT_EQ(filter.mCovariance, filter.mDelayedCovariance);
}

// After the buffer has been emptied, the next IMU step is applied to the delayed
// copy at once; a later catch-up must not apply the same step again.
TEST(FusionFilterCorrection, StepAfterAnEmptiedBufferIsAppliedToTheDelayedCopyOnce) {
    double opticalTime = 0.0;
    double lastImuTime = 0.0;
    cFusionFilter filter = test::RunningFilter(0, opticalTime, lastImuTime);
    ASSERT_EQ(filter.BufferCount(), 0);
    const cFusionFilter beforeStep = filter;
    const double stepTime = lastImuTime + 0.004;
    const Eigen::Vector3d accelerometer(1.5, 9.0, -2.0);
    const Eigen::Vector3d gyroscope(3.0, -2.0, 1.0);
    AddImu(filter, stepTime, accelerometer, gyroscope);

    Vector19d once = beforeStep.mDelayedState;
    Matrix18d onceCovariance = beforeStep.mDelayedCovariance;
    filter.Propagate(once, onceCovariance, accelerometer, gyroscope, stepTime - lastImuTime);
    ASSERT_EQ(filter.mDelayedState, once);

    // A gate no residual can pass keeps the delayed copy uncorrected, so it shows
    // exactly what the catch-up did.
    const sFilterUpdateResult result = AddOptical(filter, stepTime, std::numeric_limits<double>::min());
    ASSERT_EQ(result.status, FilterUpdate_Gated);
    EXPECT_TRUE(filter.mDelayedState.isApprox(once, 1e-14))
        << (filter.mDelayedState - once).transpose();
    EXPECT_TRUE(filter.mDelayedCovariance.isApprox(onceCovariance, 1e-14));
}

TEST(FusionFilterCorrection, MeasuredQuaternionSignDoesNotMatter) {
    double opticalTime = 0.0;
    double lastImuTime = 0.0;
    const cFusionFilter running = test::RunningFilter(10, opticalTime, lastImuTime);
    const Eigen::Quaterniond q(Eigen::AngleAxisd(0.5, Eigen::Vector3d(0.1, 1.0, 0.2).normalized()));
    const Eigen::Quaterniond negated(-q.w(), -q.x(), -q.y(), -q.z());
    cFusionFilter a = running;
    cFusionFilter b = running;
    const Eigen::Vector3d position(0.1, 1.6, -0.3);
    const sFilterUpdateResult ra = AddOptical(a, opticalTime + 0.005, position, q);
    const sFilterUpdateResult rb = AddOptical(b, opticalTime + 0.005, position, negated);
    EXPECT_TRUE(ra.residual.isApprox(rb.residual, 1e-14));
    EXPECT_TRUE(ra.correction.isApprox(rb.correction, 1e-14));
    EXPECT_TRUE(a.mState.isApprox(b.mState, 1e-14));
}

TEST(FusionFilterCorrection, ResidualIsTheShorterBodyFrameRotation) {
    double opticalTime = 0.0;
    double lastImuTime = 0.0;
    cFusionFilter filter = test::RunningFilter(10, opticalTime, lastImuTime);
    const double t = opticalTime + 0.005;
    // The state the correction starts from: the delayed copy brought to t.
    cFusionFilter probe = filter;
    AddOptical(probe, t, std::numeric_limits<double>::min());
    const Eigen::Quaterniond prior(probe.mDelayedState[6], probe.mDelayedState[7],
                                   probe.mDelayedState[8], probe.mDelayedState[9]);
    const Eigen::Vector3d rotationVector(0.2, -2.9, 0.4);  // longer than half a turn around
    const Eigen::Quaterniond measured = prior * QuaternionFromRotationVector(rotationVector);
    const sFilterUpdateResult result = AddOptical(filter, t, Eigen::Vector3d(0.1, 1.6, -0.3), measured);
    const Eigen::Vector3d expected = rotationVector;  // |angle| < pi: already the shorter one
    EXPECT_TRUE(result.residual.tail<3>().isApprox(expected, 1e-9)) << result.residual.transpose();

    const Eigen::Vector3d beyondHalfTurn = Eigen::Vector3d(0.0, 3.5, 0.0);
    cFusionFilter again = probe;
    const sFilterUpdateResult far = AddOptical(
        again, again.mDelayedTime, Eigen::Vector3d(0.1, 1.6, -0.3),
        Eigen::Quaterniond(again.mDelayedState[6], again.mDelayedState[7], again.mDelayedState[8],
                           again.mDelayedState[9]) * QuaternionFromRotationVector(beyondHalfTurn));
    EXPECT_NEAR(far.residual[4], 3.5 - 2.0 * EIGEN_PI, 1e-9);
}

TEST(FusionFilterCorrection, GateRejectsExactlyAboveTheMahalanobisDistance) {
    double opticalTime = 0.0;
    double lastImuTime = 0.0;
    const cFusionFilter running = test::RunningFilter(10, opticalTime, lastImuTime);
    const double t = opticalTime + 0.005;

    cFusionFilter open = running;
    const sFilterUpdateResult ungated = AddOptical(open, t, 0.0);
    ASSERT_EQ(ungated.status, FilterUpdate_Corrected);
    const double d2 = ungated.mahalanobis;
    ASSERT_GT(d2, 0.0);
    // The returned pieces fit together.
    EXPECT_TRUE((ungated.innovationCovariance * ungated.innovationCovarianceInverse)
                    .isApprox(Matrix6d::Identity(), 1e-9));
    EXPECT_NEAR(d2, ungated.residual.dot(ungated.innovationCovarianceInverse * ungated.residual), 1e-9 * d2);
    EXPECT_TRUE(ungated.correction.isApprox(ungated.gain * ungated.residual, 1e-12));

    cFusionFilter atGate = running;
    EXPECT_EQ(AddOptical(atGate, t, d2).status, FilterUpdate_Corrected);
    ExpectSameFilter(atGate, open);

    cFusionFilter nanGate = running;
    EXPECT_EQ(AddOptical(nanGate, t, std::nan("")).status, FilterUpdate_Corrected);

    cFusionFilter belowGate = running;
    const sFilterUpdateResult gated = AddOptical(belowGate, t, std::nextafter(d2, 0.0));
    EXPECT_EQ(gated.status, FilterUpdate_Gated);
    EXPECT_EQ(gated.residual, ungated.residual);
    EXPECT_EQ(gated.innovationCovariance, ungated.innovationCovariance);
    EXPECT_EQ(gated.gain, ungated.gain);
    EXPECT_EQ(gated.correction, ungated.correction);
    // Not corrected, yet moved to the optical time and replayed.
    EXPECT_EQ(belowGate.mDelayedTime, t);
    EXPECT_EQ(belowGate.mLastOpticalTime, t);
    Vector19d replayed = belowGate.mDelayedState;
    Matrix18d replayedCovariance = belowGate.mDelayedCovariance;
    for (int k = belowGate.BufferCount() - 1; k >= 0; --k) {
        const sImuRecord& r = belowGate.BufferedRecord(k);
        belowGate.Propagate(replayed, replayedCovariance, r.accelerometer, r.gyroscope, r.dt);
    }
    EXPECT_EQ(belowGate.mState, replayed);
    EXPECT_GT((belowGate.mState - open.mState).norm(), 0.0);
}

TEST(FusionFilterCorrection, InjectErrorAppliesEachPartWithOrientationOnTheRight) {
    Vector19d state = cFusionFilter(test::kLighthouseParams).mState;
    const Eigen::Quaterniond q = Eigen::Quaterniond(0.8, 0.1, 0.5, -0.3).normalized();
    state.segment<4>(6) << q.w(), q.x(), q.y(), q.z();
    Vector18d dx;
    for (int i = 0; i < 18; ++i) dx[i] = 0.01 * (i + 1);
    cFusionFilter::InjectError(state, dx);
    EXPECT_EQ(state.segment<3>(0), dx.segment<3>(0));
    EXPECT_EQ(state.segment<3>(3), dx.segment<3>(3));
    const Eigen::Quaterniond expected =
        q * Eigen::Quaterniond(Eigen::AngleAxisd(dx.segment<3>(6).norm(), dx.segment<3>(6).normalized()));
    EXPECT_LT(Eigen::Quaterniond(state[6], state[7], state[8], state[9]).angularDistance(expected), 1e-14);
    EXPECT_EQ(state.segment<3>(10), dx.segment<3>(9));
    EXPECT_EQ(state.segment<3>(13), dx.segment<3>(12));
    EXPECT_EQ(state.segment<3>(16), dx.segment<3>(15));
}

}  // namespace
}  // namespace halvex
