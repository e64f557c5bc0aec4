#include "covariance_step.h"

namespace halvex {
namespace {

// First row/column of each 3-wide error block.
constexpr int kPos = 0;
constexpr int kVel = 3;
constexpr int kRot = 6;
constexpr int kAccelBias = 9;
constexpr int kGyroBias = 12;
constexpr int kGravity = 15;

using Matrix9x18d = Eigen::Matrix<double, 9, 18>;
using Matrix9d = Eigen::Matrix<double, 9, 9>;

}  // namespace

Matrix18d DenseErrorTransition(const sErrorTransition& transition) {
    const double dt = transition.dt;
    Matrix18d fx = Matrix18d::Identity();
    fx.block<3, 3>(kPos, kVel) = Eigen::Matrix3d::Identity() * dt;
    fx.block<3, 3>(kVel, kRot) = transition.velocityFromOrientation;
    fx.block<3, 3>(kVel, kAccelBias) = transition.velocityFromAccelBias;
    fx.block<3, 3>(kVel, kGravity) = Eigen::Matrix3d::Identity() * dt;
    fx.block<3, 3>(kRot, kRot) = transition.orientationFromOrientation;
    fx.block<3, 3>(kRot, kGyroBias) = -Eigen::Matrix3d::Identity() * dt;
    return fx;
}

void PropagateCovarianceDense(Matrix18d& covariance, const Matrix18d& transition,
                              const Matrix18d& processNoise) {
    covariance = transition * covariance * transition.transpose() + processNoise;
}

namespace {

// rows * Fx^T restricted to its first nine columns (the other columns of Fx^T are
// unit columns, so they pass rows through unchanged).
template <typename Rows>
Eigen::Matrix<double, Rows::RowsAtCompileTime, 9> TimesTransitionTransposeLeft(
    const Rows& rows, const sErrorTransition& transition) {
    const double dt = transition.dt;
    Eigen::Matrix<double, Rows::RowsAtCompileTime, 9> out;
    out.template middleCols<3>(kPos).noalias() =
        rows.template middleCols<3>(kPos) + dt * rows.template middleCols<3>(kVel);
    out.template middleCols<3>(kVel).noalias() =
        rows.template middleCols<3>(kVel) + dt * rows.template middleCols<3>(kGravity);
    out.template middleCols<3>(kVel).noalias() +=
        rows.template middleCols<3>(kRot) * transition.velocityFromOrientation.transpose();
    out.template middleCols<3>(kVel).noalias() +=
        rows.template middleCols<3>(kAccelBias) * transition.velocityFromAccelBias.transpose();
    out.template middleCols<3>(kRot).noalias() =
        rows.template middleCols<3>(kRot) * transition.orientationFromOrientation.transpose();
    out.template middleCols<3>(kRot).noalias() -= dt * rows.template middleCols<3>(kGyroBias);
    return out;
}

}  // namespace

void PropagateCovarianceStructured(Matrix18d& covariance, const sErrorTransition& transition,
                                   const Vector18d& processNoiseDiagonal) {
    const double dt = transition.dt;
    const Eigen::Matrix3d& a = transition.velocityFromOrientation;
    const Eigen::Matrix3d& b = transition.velocityFromAccelBias;
    const Eigen::Matrix3d& d = transition.orientationFromOrientation;
    Matrix18d& p = covariance;

    // M = Fx P: rows 9-17 equal those of P, so only the top nine rows are formed.
    Matrix9x18d m;
    m.middleRows<3>(kPos).noalias() = p.middleRows<3>(kPos) + dt * p.middleRows<3>(kVel);
    m.middleRows<3>(kVel).noalias() = p.middleRows<3>(kVel) + dt * p.middleRows<3>(kGravity);
    m.middleRows<3>(kVel).noalias() += a * p.middleRows<3>(kRot);
    m.middleRows<3>(kVel).noalias() += b * p.middleRows<3>(kAccelBias);
    m.middleRows<3>(kRot).noalias() = d * p.middleRows<3>(kRot) - dt * p.middleRows<3>(kGyroBias);

    // N = M Fx^T: its last nine columns are those of M, its bottom-right block that
    // of P. Every other block is formed, none mirrored: P is symmetric only up to
    // the rounding of the optical update, and a mirrored half would turn that
    // rounding into an error that the bias and gravity blocks keep and feed back
    // at every step until P is indefinite.
    const Matrix9d bottomLeft = TimesTransitionTransposeLeft(p.bottomRows<9>(), transition);
    p.topLeftCorner<9, 9>() = TimesTransitionTransposeLeft(m, transition);
    p.topRightCorner<9, 9>() = m.rightCols<9>();
    p.bottomLeftCorner<9, 9>() = bottomLeft;
    p.diagonal() += processNoiseDiagonal;
}

}  // namespace halvex
