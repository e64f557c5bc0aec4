// Small helpers shared by the filter tests: feeding samples with Eigen types and
// bringing a filter into the running state.
#pragma once

#include "fusion/fusion_filter.h"

#include <Eigen/Core>
#include <Eigen/Geometry>

namespace halvex::test {

constexpr sFusionFilterParams kLighthouseParams{0.1, 0.01, 1e-8, 1e-8};
constexpr sFusionFilterParams kWmrParams{0.1, 0.0001, 1e-8, 1e-8};
constexpr double kPositionVariance = 1e-6;
constexpr double kOrientationVariance = 0.010000000000000002;

inline bool AddImu(cFusionFilter& filter, double time, const Eigen::Vector3d& accelerometer,
                   const Eigen::Vector3d& gyroscope) {
    return filter.AddImuSample(accelerometer.data(), gyroscope.data(), time);
}

inline bool AddImu(cFusionFilter& filter, double time) {
    return AddImu(filter, time, Eigen::Vector3d(0.2, 9.81, -0.1), Eigen::Vector3d(0.3, -0.5, 0.2));
}

inline sFilterUpdateResult AddOptical(cFusionFilter& filter, double time,
                                      const Eigen::Vector3d& position,
                                      const Eigen::Quaterniond& orientation, double gate = 0.0) {
    const double xyzw[4] = {orientation.x(), orientation.y(), orientation.z(), orientation.w()};
    return filter.AddOpticalSample(position.data(), kPositionVariance, xyzw, kOrientationVariance,
                                   time, gate);
}

inline sFilterUpdateResult AddOptical(cFusionFilter& filter, double time, double gate = 0.0) {
    return AddOptical(filter, time, Eigen::Vector3d(0.1, 1.6, -0.3),
                      Eigen::Quaterniond(Eigen::AngleAxisd(0.4, Eigen::Vector3d(0.2, 1.0, 0.1).normalized())),
                      gate);
}

// A filter with propagation on and `count` IMU steps of 1 ms buffered after the
// last optical sample, which was at `opticalTime`.
inline cFusionFilter RunningFilter(int count, double& opticalTime, double& lastImuTime) {
    cFusionFilter filter(kLighthouseParams);
    double time = 10.0;
    AddImu(filter, time);
    for (int i = 0; i < 20; ++i) {
        time += 0.001;
        AddImu(filter, time);
    }
    opticalTime = time;
    AddOptical(filter, opticalTime);  // empties the buffer
    for (int i = 0; i < count; ++i) {
        time += 0.001;
        AddImu(filter, time);
    }
    lastImuTime = time;
    return filter;
}

}  // namespace halvex::test
