// The least-squares solution of a calibration's window equations, with the
// covariance its residuals give.
#pragma once

#include "window_equations.h"

#include <Eigen/Core>

namespace halvex::calibration {

// Windows overlap by half: neighbouring equations share noise, which the plain
// least-squares covariance would count twice as often as it is independent.
constexpr double kOverlapVarianceFactor = 2.0;

// Draws from a solution's covariance that give the standard errors of derived values.
constexpr int kErrorDraws = 400;

struct sSolution {
    Eigen::VectorXd x;
    double ssr = 0.0;
    Eigen::MatrixXd covariance;
    bool ok = false;
};

// Not ok with too few equations for the unknowns or a singular system.
sSolution Solve(const sLinearSystem& system);

// RMS of the residuals of `x`; 0 without equations.
double Rms(const sLinearSystem& system, const Eigen::VectorXd& x);

}  // namespace halvex::calibration
