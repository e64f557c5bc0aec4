#include "filter_test_support.h"

#include "fusion/rotation_math.h"

#include <gtest/gtest.h>

#include <cmath>

namespace halvex {
namespace {

// A filter whose propagation is switched on but whose state is still the initial one.
cFusionFilter PropagatingFilter(const sFusionFilterParams& params = test::kLighthouseParams) {
    cFusionFilter filter(params);
    filter.mLastOpticalTime = 1.0;
    return filter;
}

TEST(FusionFilterPropagation, NothingMovesBeforeTheFirstOpticalFix) {
    const cFusionFilter filter(test::kLighthouseParams);
    Vector19d state = filter.mState;
    Matrix18d covariance = filter.mCovariance;
    filter.Propagate(state, covariance, Eigen::Vector3d(1, 2, 3), Eigen::Vector3d(4, 5, 6), 0.01);
    EXPECT_EQ(state, filter.mState);
    EXPECT_EQ(covariance, filter.mCovariance);
}

TEST(FusionFilterPropagation, AccelerometerBalancingGravityHoldsStill) {
    const cFusionFilter filter = PropagatingFilter();
    Vector19d state = filter.mState;
    state.segment<3>(FusionState_Gravity) = Eigen::Vector3d(0, 0, -9.81);
    Matrix18d covariance = filter.mCovariance;
    for (int i = 0; i < 1000; ++i) {
        filter.Propagate(state, covariance, Eigen::Vector3d(0, 0, 9.81), Eigen::Vector3d::Zero(), 0.001);
    }
    EXPECT_EQ(state.segment<3>(FusionState_Position), Eigen::Vector3d::Zero());
    EXPECT_EQ(state.segment<3>(FusionState_Velocity), Eigen::Vector3d::Zero());
    EXPECT_EQ(state.segment<4>(FusionState_Orientation), Eigen::Vector4d(1, 0, 0, 0));
}

TEST(FusionFilterPropagation, ConstantBodyRateTurnsAboutItsAxis) {
    const cFusionFilter filter = PropagatingFilter();
    const Eigen::Vector3d rate(0.7, -2.1, 1.3);
    const double dt = 0.001;
    const int steps = 2500;
    Vector19d state = filter.mState;
    Matrix18d covariance = filter.mCovariance;
    for (int i = 0; i < steps; ++i) filter.Propagate(state, covariance, Eigen::Vector3d::Zero(), rate, dt);

    const double halfAngle = steps * rate.norm() * dt / 2.0;
    const Eigen::Vector3d axis = rate.normalized();
    EXPECT_NEAR(state[6], std::cos(halfAngle), 1e-12);
    for (int i = 0; i < 3; ++i) EXPECT_NEAR(state[7 + i], axis[i] * std::sin(halfAngle), 1e-12);
}

TEST(FusionFilterPropagation, BiasesAreRemovedBeforeIntegration) {
    const cFusionFilter filter = PropagatingFilter();
    Vector19d state = filter.mState;
    state.segment<3>(FusionState_AccelBias) = Eigen::Vector3d(0.5, 9.81, -0.2);
    state.segment<3>(FusionState_GyroBias) = Eigen::Vector3d(0.1, 0.2, 0.3);
    Matrix18d covariance = filter.mCovariance;
    filter.Propagate(state, covariance, Eigen::Vector3d(0.5, 9.81, -0.2), Eigen::Vector3d(0.1, 0.2, 0.3), 0.01);
    EXPECT_EQ(state.segment<3>(FusionState_Velocity), Eigen::Vector3d::Zero());
    EXPECT_EQ(state.segment<4>(FusionState_Orientation), Eigen::Vector4d(1, 0, 0, 0));
}

TEST(FusionFilterPropagation, PositionStepUsesTheVelocityBeforeTheStep) {
    const cFusionFilter filter = PropagatingFilter();
    Vector19d state = filter.mState;
    // Orientation: a quarter turn about y, so body x points along world -z.
    const Eigen::Quaterniond q(Eigen::AngleAxisd(EIGEN_PI / 2, Eigen::Vector3d::UnitY()));
    state.segment<4>(FusionState_Orientation) << q.w(), q.x(), q.y(), q.z();
    state.segment<3>(FusionState_Velocity) = Eigen::Vector3d(1.0, 0.0, 0.5);
    state.segment<3>(FusionState_Gravity) = Eigen::Vector3d(0.0, -9.81, 0.0);
    Matrix18d covariance = filter.mCovariance;
    const double dt = 0.1;
    filter.Propagate(state, covariance, Eigen::Vector3d(2.0, 9.81, 0.0), Eigen::Vector3d::Zero(), dt);

    const Eigen::Vector3d worldAcceleration(0.0, 0.0, -2.0);
    const Eigen::Vector3d expectedPosition =
        Eigen::Vector3d(1.0, 0.0, 0.5) * dt + 0.5 * worldAcceleration * dt * dt;
    EXPECT_TRUE(state.segment<3>(FusionState_Position).isApprox(expectedPosition, 1e-12))
        << state.segment<3>(FusionState_Position).transpose();
    EXPECT_TRUE(state.segment<3>(FusionState_Velocity)
                    .isApprox(Eigen::Vector3d(1.0, 0.0, 0.5) + worldAcceleration * dt, 1e-12));
}

TEST(FusionFilterPropagation, VelocityVarianceGrowsByAccelNoiseWithoutCoupling) {
    const cFusionFilter filter = PropagatingFilter();
    Vector19d state = filter.mState;
    Matrix18d covariance = Matrix18d::Zero();
    covariance(4, 4) = 0.5;
    const double dt = 0.002;
    filter.Propagate(state, covariance, Eigen::Vector3d::Zero(), Eigen::Vector3d::Zero(), dt);
    EXPECT_DOUBLE_EQ(covariance(3, 3), 0.1 * dt * dt);
    EXPECT_DOUBLE_EQ(covariance(4, 4), 0.5 + 0.1 * dt * dt);
    EXPECT_DOUBLE_EQ(covariance(6, 6), 0.01 * dt * dt);
    EXPECT_DOUBLE_EQ(covariance(9, 9), 1e-8 * dt);
    EXPECT_DOUBLE_EQ(covariance(12, 12), 1e-8 * dt);
    EXPECT_EQ(covariance(15, 15), 0.0);
    // Position picks up the velocity uncertainty only through the transition.
    EXPECT_DOUBLE_EQ(covariance(1, 1), 0.5 * dt * dt);
    EXPECT_DOUBLE_EQ(covariance(1, 4), 0.5 * dt);
}

// The covariance step inside Propagate against Fx assembled here from the
// definition of each block, so a wrong sign or block position is caught.
TEST(FusionFilterPropagation, CovarianceFollowsTheErrorTransition) {
    const cFusionFilter filter = PropagatingFilter();
    Vector19d state = filter.mState;
    const Eigen::Quaterniond q = Eigen::Quaterniond(0.9, 0.2, -0.3, 0.25).normalized();
    state.segment<4>(FusionState_Orientation) << q.w(), q.x(), q.y(), q.z();
    state.segment<3>(FusionState_AccelBias) = Eigen::Vector3d(0.05, -0.02, 0.01);
    state.segment<3>(FusionState_GyroBias) = Eigen::Vector3d(0.003, 0.002, -0.001);

    Eigen::Matrix<double, 18, 18> root = Eigen::Matrix<double, 18, 18>::Random();
    Matrix18d covariance = root * root.transpose();
    const Matrix18d before = covariance;
    const Eigen::Vector3d accelerometer(0.4, 9.6, -0.3);
    const Eigen::Vector3d gyroscope(1.2, -0.4, 2.5);
    const double dt = 0.004;
    filter.Propagate(state, covariance, accelerometer, gyroscope, dt);

    const Eigen::Vector3d a = accelerometer - Eigen::Vector3d(0.05, -0.02, 0.01);
    const Eigen::Vector3d w = gyroscope - Eigen::Vector3d(0.003, 0.002, -0.001);
    const Eigen::Matrix3d r = q.toRotationMatrix();
    const Eigen::Matrix3d i3 = Eigen::Matrix3d::Identity();
    Matrix18d fx = Matrix18d::Identity();
    fx.block<3, 3>(0, 3) = i3 * dt;
    fx.block<3, 3>(3, 6) = -r * SkewMatrix(a) * dt;
    fx.block<3, 3>(3, 9) = -r * dt;
    fx.block<3, 3>(3, 15) = i3 * dt;
    fx.block<3, 3>(6, 6) = Eigen::AngleAxisd(w.norm() * dt, w.normalized()).toRotationMatrix().transpose();
    fx.block<3, 3>(6, 12) = -i3 * dt;
    const Matrix18d expected = fx * before * fx.transpose() + filter.ProcessNoise(dt);
    EXPECT_LE((covariance - expected).cwiseAbs().maxCoeff(), 1e-12 * expected.cwiseAbs().maxCoeff());
}

}  // namespace
}  // namespace halvex
