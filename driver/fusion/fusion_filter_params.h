#pragma once

namespace halvex {

// Noise model of the head filter; all four are variances.
struct sFusionFilterParams {
    double accelNoise = 0.0;     // (m/s^2)^2, velocity noise per step = accelNoise * dt^2
    double gyroNoise = 0.0;      // (rad/s)^2, orientation noise per step = gyroNoise * dt^2
    double accelBiasWalk = 0.0;  // accel-bias noise per step = accelBiasWalk * dt
    double gyroBiasWalk = 0.0;   // gyro-bias noise per step = gyroBiasWalk * dt
};

}  // namespace halvex
