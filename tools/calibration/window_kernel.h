// A local quadratic fit over the optical samples of a window gives the first or
// second derivative at its centre as a weighted sum of the samples. The same sum
// equals an integral of the signal's derivative (first) or second derivative
// against a kernel that follows from the weights alone (Peano's kernel). So the
// IMU side, which measures those derivatives, can be smoothed by exactly the same
// operator: both sides then agree whatever the motion, and no optical noise is
// differentiated without smoothing.
#pragma once

#include <vector>

namespace halvex::calibration {

enum class eDerivative { First, Second };

class cWindowKernel {
public:
    // `offsets`: sample times minus the centre, increasing, at least 4.
    cWindowKernel(const std::vector<double>& offsets, eDerivative derivative);

    // The weights of the samples: sum(w * x) estimates the derivative at the centre.
    const std::vector<double>& Weights() const { return mWeights; }
    // The kernel at offset u: sum(w * x) = integral of Kernel(u) * x^(d)(u) du.
    double Kernel(double u) const;
    double First() const { return mOffsets.front(); }
    double Last() const { return mOffsets.back(); }

private:
    std::vector<double> mOffsets;
    std::vector<double> mWeights;
    eDerivative mDerivative;
};

}  // namespace halvex::calibration
