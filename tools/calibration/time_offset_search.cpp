#include "time_offset_search.h"

#include "rotation_log.h"
#include "window_kernel.h"

#include "window_equations.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <vector>

namespace halvex::calibration {

double CoarseTimeOffset(const cRecordingTrack& track, double maxOffset) {
    constexpr int kHalfSamples = 4;
    const size_t n = track.OpticalCount();
    if (n < 4 * kHalfSamples) return std::numeric_limits<double>::quiet_NaN();
    const double rate = track.OpticalRate();
    // Optical rate magnitude at each frame whose neighbours are all there.
    std::vector<double> times, opticalRate;
    for (size_t k = kHalfSamples; k + kHalfSamples < n; ++k) {
        const double span = track.OpticalTime(k + kHalfSamples) - track.OpticalTime(k - kHalfSamples);
        if (span > (2 * kHalfSamples + 1.5) / rate) continue;
        std::vector<double> offsets;
        for (size_t j = k - kHalfSamples; j <= k + kHalfSamples; ++j) offsets.push_back(track.OpticalTime(j) - track.OpticalTime(k));
        const cWindowKernel kernel(offsets, eDerivative::First);
        Eigen::Vector3d omega = Eigen::Vector3d::Zero();
        for (size_t j = 0; j < offsets.size(); ++j)
            omega += kernel.Weights()[j] *
                     LogOfRotation(track.OpticalRotation(k).transpose() * track.OpticalRotation(k - kHalfSamples + j));
        times.push_back(track.OpticalTime(k));
        opticalRate.push_back(omega.norm());
    }
    // Gyroscope magnitude averaged over the same span, on the IMU's own samples.
    const double span = static_cast<double>(kHalfSamples) / rate;
    std::vector<double> prefix(track.ImuCount() + 1, 0.0);
    for (size_t i = 0; i < track.ImuCount(); ++i) prefix[i + 1] = prefix[i] + track.Imu(i).gyro.norm();
    const auto gyroRate = [&](double t, double& value) {
        const size_t a = track.ImuIndexAtOrAfter(t - span);
        const size_t b = track.ImuIndexAtOrAfter(t + span);
        if (a == 0 || b >= track.ImuCount() || b <= a) return false;
        value = (prefix[b] - prefix[a]) / static_cast<double>(b - a);
        return true;
    };

    double bestOffset = std::numeric_limits<double>::quiet_NaN();
    double bestCorrelation = 0.2;  // below this there is no motion to match
    for (double offset = -maxOffset; offset <= maxOffset + 1e-12; offset += 0.0005) {
        double sx = 0, sy = 0, sxx = 0, syy = 0, sxy = 0;
        size_t count = 0;
        for (size_t j = 0; j < times.size(); j += 2) {
            double g = 0.0;
            if (!gyroRate(times[j] + offset, g)) continue;
            const double o = opticalRate[j];
            sx += o;
            sy += g;
            sxx += o * o;
            syy += g * g;
            sxy += o * g;
            ++count;
        }
        if (count < 100) continue;
        const double c = static_cast<double>(count);
        const double cov = sxy / c - sx * sy / (c * c);
        const double vx = sxx / c - sx * sx / (c * c);
        const double vy = syy / c - sy * sy / (c * c);
        if (vx <= 0.0 || vy <= 0.0) continue;
        const double correlation = cov / std::sqrt(vx * vy);
        if (correlation > bestCorrelation) {
            bestCorrelation = correlation;
            bestOffset = offset;
        }
    }
    return bestOffset;
}

sTimeOffset EstimateTimeOffset(const cRecordingTrack& track, double maxOffset, double halfWindow, double midTime) {
    sTimeOffset result;
    const double coarse = CoarseTimeOffset(track, maxOffset);
    if (!std::isfinite(coarse)) return result;
    const auto gyroSsr = [&](double offset) {
        const sWindowEquations eq = BuildWindowEquations(track, offset, halfWindow, midTime, false);
        const sSolution s = Solve(eq.gyro);
        return s.ok ? s.ssr : std::numeric_limits<double>::infinity();
    };
    const double step = 0.0005;
    std::vector<double> grid, ssr;
    for (int i = -4; i <= 4; ++i) {
        grid.push_back(coarse + i * step);
        ssr.push_back(gyroSsr(grid.back()));
    }
    size_t best = static_cast<size_t>(std::min_element(ssr.begin(), ssr.end()) - ssr.begin());
    best = std::clamp<size_t>(best, 1, grid.size() - 2);
    const double s0 = ssr[best - 1], s1 = ssr[best], s2 = ssr[best + 1];
    result.curvature = (s0 - 2.0 * s1 + s2) / (step * step);
    result.seconds = grid[best];
    if (std::isfinite(result.curvature) && result.curvature > 0.0)
        result.seconds = grid[best] + std::clamp(-0.5 * step * (s2 - s0) / (s0 - 2.0 * s1 + s2), -step, step);
    result.ok = true;
    return result;
}

double TimeOffsetStandardErrorMs(const sTimeOffset& offset, const sSolution& gyro, const sLinearSystem& system) {
    if (!(offset.curvature > 0.0)) return INFINITY;
    const double gyroVariance = gyro.ssr / static_cast<double>(system.design.rows() - system.design.cols());
    return 1000.0 * std::sqrt(kOverlapVarianceFactor * 2.0 * gyroVariance / offset.curvature);
}

}  // namespace halvex::calibration
