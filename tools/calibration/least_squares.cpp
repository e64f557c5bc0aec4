#include "least_squares.h"

#include <Eigen/Dense>

#include <cmath>

namespace halvex::calibration {

sSolution Solve(const sLinearSystem& system) {
    sSolution s;
    const Eigen::Index n = system.design.rows();
    const Eigen::Index p = system.design.cols();
    if (n <= p + 10) return s;
    const Eigen::MatrixXd normal = system.design.transpose() * system.design;
    const Eigen::LDLT<Eigen::MatrixXd> ldlt(normal);
    if (ldlt.info() != Eigen::Success) return s;
    s.x = ldlt.solve(system.design.transpose() * system.observed);
    s.ssr = (system.design * s.x - system.observed).squaredNorm();
    const double variance = s.ssr / static_cast<double>(n - p);
    s.covariance = kOverlapVarianceFactor * variance * ldlt.solve(Eigen::MatrixXd::Identity(p, p));
    s.ok = s.x.allFinite() && s.covariance.allFinite();
    return s;
}

double Rms(const sLinearSystem& system, const Eigen::VectorXd& x) {
    if (system.design.rows() == 0) return 0.0;
    return std::sqrt((system.design * x - system.observed).squaredNorm() / static_cast<double>(system.design.rows()));
}

}  // namespace halvex::calibration
