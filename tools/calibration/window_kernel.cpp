#include "window_kernel.h"

#include <Eigen/Dense>

#include <algorithm>
#include <cmath>

namespace halvex::calibration {

cWindowKernel::cWindowKernel(const std::vector<double>& offsets, eDerivative derivative)
    : mOffsets(offsets), mWeights(offsets.size(), 0.0), mDerivative(derivative) {
    const Eigen::Index n = static_cast<Eigen::Index>(offsets.size());
    // Scaled by the half-width so the normal equations stay well conditioned.
    const double scale = std::max(std::fabs(offsets.front()), std::fabs(offsets.back()));
    Eigen::MatrixXd design(n, 3);
    for (Eigen::Index k = 0; k < n; ++k) {
        const double s = offsets[static_cast<size_t>(k)] / scale;
        design(k, 0) = 1.0;
        design(k, 1) = s;
        design(k, 2) = s * s;
    }
    const Eigen::MatrixXd solve = (design.transpose() * design).ldlt().solve(design.transpose());
    for (Eigen::Index k = 0; k < n; ++k) {
        mWeights[static_cast<size_t>(k)] = derivative == eDerivative::First ? solve(1, k) / scale
                                                                            : 2.0 * solve(2, k) / (scale * scale);
    }
}

double cWindowKernel::Kernel(double u) const {
    double sum = 0.0;
    for (size_t k = 0; k < mOffsets.size(); ++k) {
        const double s = mOffsets[k];
        const double w = mWeights[k];
        if (u >= 0.0 && s > u) {
            sum += mDerivative == eDerivative::First ? w : w * (s - u);
        } else if (u < 0.0 && s <= u) {
            sum += mDerivative == eDerivative::First ? -w : w * (u - s);
        }
    }
    return sum;
}

}  // namespace halvex::calibration
