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

    // N = M Fx^T. Columns 9-17 of N equal those of M; N is symmetric, so of the
    // top-left 9x9 only the blocks on and above the diagonal are formed.
    Matrix9d n;
    // column block position: M_p + dt M_v, row of p
    n.block<3, 3>(kPos, kPos).noalias() = m.block<3, 3>(kPos, kPos) + dt * m.block<3, 3>(kPos, kVel);
    // column block velocity: M_v + M_rot A^T + M_ba B^T + dt M_g, rows of p and v
    for (int row = kPos; row <= kVel; row += 3) {
        auto block = n.block<3, 3>(row, kVel);
        block.noalias() = m.block<3, 3>(row, kVel) + dt * m.block<3, 3>(row, kGravity);
        block.noalias() += m.block<3, 3>(row, kRot) * a.transpose();
        block.noalias() += m.block<3, 3>(row, kAccelBias) * b.transpose();
    }
    // column block orientation: M_rot D^T - dt M_bg, rows of p, v and rot
    for (int row = kPos; row <= kRot; row += 3) {
        auto block = n.block<3, 3>(row, kRot);
        block.noalias() = m.block<3, 3>(row, kRot) * d.transpose();
        block.noalias() -= dt * m.block<3, 3>(row, kGyroBias);
    }
    n.block<3, 3>(kVel, kPos) = n.block<3, 3>(kPos, kVel).transpose();
    n.block<3, 3>(kRot, kPos) = n.block<3, 3>(kPos, kRot).transpose();
    n.block<3, 3>(kRot, kVel) = n.block<3, 3>(kVel, kRot).transpose();

    p.topLeftCorner<9, 9>() = n;
    p.topRightCorner<9, 9>() = m.rightCols<9>();
    p.bottomLeftCorner<9, 9>() = m.rightCols<9>().transpose();
    p.diagonal() += processNoiseDiagonal;
}

}  // namespace halvex
