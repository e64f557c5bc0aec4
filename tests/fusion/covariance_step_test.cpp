#include "fusion/covariance_step.h"
#include "fusion/rotation_math.h"

#include <gtest/gtest.h>

#include <Eigen/Geometry>

#include <cmath>
#include <cstdint>
#include <random>

namespace halvex {
namespace {

struct sRandomStep {
    Matrix18d covariance;
    sErrorTransition transition;
    Vector18d noise;
};

// Covariances spanning many magnitudes, as in a filter right after its first fixes.
// `asymmetry` > 0 adds an antisymmetric part of that size relative to each entry's
// row and column scale, as the rounding of an optical update leaves (and more).
sRandomStep RandomStep(std::mt19937& random, double asymmetry = 0.0) {
    std::uniform_real_distribution<double> unit(-1.0, 1.0);
    std::uniform_real_distribution<double> exponent(-8.0, 10.0);
    auto randomMatrix3 = [&] {
        Eigen::Matrix3d m;
        for (int i = 0; i < 9; ++i) m(i) = unit(random);
        return m;
    };

    sRandomStep step;
    Matrix18d root;
    for (int i = 0; i < 18 * 18; ++i) root(i) = unit(random);
    Vector18d scale;
    for (int i = 0; i < 18; ++i) scale[i] = std::pow(10.0, exponent(random) / 2.0);
    step.covariance = scale.asDiagonal() * (root * root.transpose()) * scale.asDiagonal();
    // Exactly symmetric, as the filter's covariance is after a symmetric update.
    step.covariance = ((step.covariance + step.covariance.transpose()) * 0.5).eval();
    for (int r = 0; r < 18; ++r) {
        for (int c = r + 1; c < 18; ++c) {
            const double part =
                asymmetry * unit(random) * std::sqrt(step.covariance(r, r) * step.covariance(c, c));
            step.covariance(r, c) += part;
            step.covariance(c, r) -= part;
        }
    }

    const double dt = std::pow(10.0, exponent(random) / 6.0 - 2.0);
    const Eigen::Matrix3d rotation =
        Eigen::Quaterniond(unit(random), unit(random), unit(random), unit(random)).normalized().toRotationMatrix();
    const Eigen::Vector3d a = 10.0 * Eigen::Vector3d(unit(random), unit(random), unit(random));
    const Eigen::Vector3d w = 8.0 * Eigen::Vector3d(unit(random), unit(random), unit(random));
    step.transition.dt = dt;
    step.transition.velocityFromOrientation = -rotation * SkewMatrix(a) * dt;
    step.transition.velocityFromAccelBias = -rotation * dt;
    step.transition.orientationFromOrientation =
        QuaternionFromRotationVector(w * dt).toRotationMatrix().transpose();
    for (int i = 0; i < 18; ++i) step.noise[i] = i < 3 || i >= 15 ? 0.0 : std::abs(unit(random)) * dt;
    // Any of the blocks may also be arbitrary, not just physical.
    if (random() % 4 == 0) step.transition.velocityFromOrientation = randomMatrix3();
    return step;
}

void ExpectStructuredEqualsDense(double asymmetry, uint32_t seed) {
    std::mt19937 random(seed);
    for (int trial = 0; trial < 500; ++trial) {
        const sRandomStep step = RandomStep(random, asymmetry);
        Matrix18d dense = step.covariance;
        PropagateCovarianceDense(dense, DenseErrorTransition(step.transition),
                                 Matrix18d(step.noise.asDiagonal()));
        Matrix18d structured = step.covariance;
        PropagateCovarianceStructured(structured, step.transition, step.noise);

        // Entry-wise, relative to the scale of the entry's row and column.
        for (int r = 0; r < 18; ++r) {
            for (int c = 0; c < 18; ++c) {
                const double scale = std::sqrt(dense(r, r) * dense(c, c));
                ASSERT_LE(std::abs(structured(r, c) - dense(r, c)), 1e-12 * scale)
                    << "trial " << trial << " entry " << r << "," << c;
            }
        }
    }
}

TEST(CovarianceStep, StructuredEqualsDenseOnRandomInputs) {
    ExpectStructuredEqualsDense(0.0, 20240611);
}

// The covariance after a correction is symmetric only to rounding: the step must
// carry both halves as the full product does, not mirror one of them.
TEST(CovarianceStep, StructuredEqualsDenseOnNonSymmetricInputs) {
    ExpectStructuredEqualsDense(1e-3, 777);
    ExpectStructuredEqualsDense(0.5, 778);
}

}  // namespace
}  // namespace halvex
