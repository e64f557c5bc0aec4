// Whether a filter's state is still physically possible. A filter can be finite and
// yet have left the physical: a covariance that is no longer one, a gravity of the
// wrong size that it claims to know, a head far from where the optical system last
// saw it. Such a state must never be reported as a valid pose.
#pragma once

#include "fusion_filter.h"

#include <Eigen/Core>

namespace halvex {

enum class eFilterImplausibility {
    None,
    NotFinite,
    NegativeVariance,
    GravityNorm,
    FarFromOptical,
};

struct sFilterPlausibilityCheck {
    eFilterImplausibility problem = eFilterImplausibility::None;
    double value = 0.0;  // what was off: the variance, the gravity norm, the distance in m
};

// `newestOpticalPosition`: the last position handed to AddOpticalSample since the
// filter was built, in the filter's own frame; only read once the filter has taken one.
sFilterPlausibilityCheck CheckFilterPlausibility(const cFusionFilter& filter,
                                                 const Eigen::Vector3d& newestOpticalPosition);

}  // namespace halvex
