#include "filter_plausibility.h"

#include <cmath>

namespace halvex {
namespace {

constexpr double kStandardGravity = 9.80665;
// Local gravity is within 0.3 % of standard everywhere people live, and an
// accelerometer's scale error of a percent or two shows in the learned norm; beyond
// this the filter is wrong, not the world.
constexpr double kGravityNormTolerance = 0.05;
// Gravity is learned from nothing after a reset; its norm is judged only once the
// filter claims to know each axis to 0.1 m/s^2.
constexpr double kSettledGravityVariance = 0.01;
// A head cannot be further from its newest optical position than this plus what it
// can cover at a fast walk in the time since (the filter coasts on the IMU through
// occlusions of up to a few seconds).
constexpr double kFarFromOpticalMetres = 0.25;
constexpr double kFastestHeadSpeed = 5.0;

}  // namespace

sFilterPlausibilityCheck CheckFilterPlausibility(const cFusionFilter& filter,
                                                 const Eigen::Vector3d& newestOpticalPosition) {
    sFilterPlausibilityCheck check;
    if (!filter.IsFinite()) {
        check.problem = eFilterImplausibility::NotFinite;
        return check;
    }
    for (int i = 0; i < 18; ++i) {
        if (filter.mCovariance(i, i) < 0.0 || filter.mDelayedCovariance(i, i) < 0.0) {
            check.problem = eFilterImplausibility::NegativeVariance;
            check.value = std::fmin(filter.mCovariance(i, i), filter.mDelayedCovariance(i, i));
            return check;
        }
    }
    const bool gravitySettled = filter.mCovariance(15, 15) < kSettledGravityVariance &&
                                filter.mCovariance(16, 16) < kSettledGravityVariance &&
                                filter.mCovariance(17, 17) < kSettledGravityVariance;
    const double gravityNorm = filter.mState.segment<3>(FusionState_Gravity).norm();
    if (gravitySettled && std::abs(gravityNorm / kStandardGravity - 1.0) > kGravityNormTolerance) {
        check.problem = eFilterImplausibility::GravityNorm;
        check.value = gravityNorm;
        return check;
    }
    if (filter.mLastOpticalTime > 0.0) {
        const double distance = (filter.Position() - newestOpticalPosition).norm();
        const double sinceOptical = std::fmax(0.0, filter.mLastImuTime - filter.mLastOpticalTime);
        if (distance > kFarFromOpticalMetres + kFastestHeadSpeed * sinceOptical) {
            check.problem = eFilterImplausibility::FarFromOptical;
            check.value = distance;
        }
    }
    return check;
}

}  // namespace halvex
