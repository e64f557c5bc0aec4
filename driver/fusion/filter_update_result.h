#pragma once

#include <Eigen/Core>

#include <cstdint>

namespace halvex {

enum eFilterUpdateStatus : int32_t {
    FilterUpdate_Corrected = 0,
    FilterUpdate_Refused = 1,  // no buffered IMU step, or older than the delayed copy
    FilterUpdate_Gated = 2,    // Mahalanobis distance above the gate; state untouched
};

// Everything one optical correction computed; with status Refused only the status is set.
struct sFilterUpdateResult {
    int32_t status = FilterUpdate_Refused;
    Eigen::Matrix<double, 6, 1> residual = Eigen::Matrix<double, 6, 1>::Zero();
    Eigen::Matrix<double, 6, 6> innovationCovariance = Eigen::Matrix<double, 6, 6>::Zero();
    Eigen::Matrix<double, 6, 6> innovationCovarianceInverse = Eigen::Matrix<double, 6, 6>::Zero();
    Eigen::Matrix<double, 18, 1> correction = Eigen::Matrix<double, 18, 1>::Zero();
    Eigen::Matrix<double, 18, 6> gain = Eigen::Matrix<double, 18, 6>::Zero();
    double mahalanobis = 0.0;
};

}  // namespace halvex
