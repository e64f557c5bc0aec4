#pragma once

namespace halvex {

// Noise model of the head filter; all four are variances.
struct sFusionFilterParams {
    double accelNoise = 0.0;     // (m/s^2)^2, velocity noise per step = accelNoise * dt^2
    double gyroNoise = 0.0;      // (rad/s)^2, orientation noise per step = gyroNoise * dt^2
    double accelBiasWalk = 0.0;  // accel-bias noise per step = accelBiasWalk * dt
    double gyroBiasWalk = 0.0;   // gyro-bias noise per step = gyroBiasWalk * dt
    // Variances the bias states start from; 0: ten times the bias walk, which suits
    // an IMU whose factory biases seed the filter, not one without a calibration.
    double initialAccelBiasVariance = 0.0;  // (m/s^2)^2
    double initialGyroBiasVariance = 0.0;   // (rad/s)^2
};

}  // namespace halvex
