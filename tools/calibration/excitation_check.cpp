#include "excitation_check.h"

#include "refusal_text.h"
#include "rotation_log.h"

#include <Eigen/Core>

#include <algorithm>
#include <cmath>
#include <vector>

namespace halvex::calibration {
namespace {


// The 99th percentile of |x|.
double Percentile99(std::vector<double> values) {
    if (values.empty()) return 0.0;
    const size_t rank = static_cast<size_t>(0.99 * static_cast<double>(values.size() - 1));
    std::nth_element(values.begin(), values.begin() + static_cast<std::ptrdiff_t>(rank), values.end());
    return values[rank];
}

}  // namespace

std::string RateExcitationRefusal(const cRecordingTrack& track, double minPeakDegPerSecond) {
    static const char* const kAxisNames[] = {"pitch", "yaw", "roll"};
    std::vector<double> rates[3];
    for (size_t i = 0; i < track.ImuCount(); ++i)
        for (int a = 0; a < 3; ++a) rates[a].push_back(std::fabs(track.Imu(i).gyro[a]));
    for (int a = 0; a < 3; ++a) {
        const double peak = Percentile99(rates[a]) * kRadToDeg;
        if (peak < minPeakDegPerSecond)
            return "turn the head (or hand) about all three axes: " + std::string(kAxisNames[a]) +
                   FormatMessage(" reached only %.0f \xC2\xB0/s (%.0f \xC2\xB0/s needed)", peak, minPeakDegPerSecond);
    }
    return {};
}

std::string TiltExcitationRefusal(const cRecordingTrack& track, double minRangeDeg) {
    std::vector<double> forward, sideways;
    Eigen::Vector3d sum = Eigen::Vector3d::Zero();
    int count = 0;
    for (size_t i = 0; i < track.ImuCount(); ++i) {
        sum += track.Imu(i).accel;
        // Gravity's direction in 0.1 s means: acceleration mostly averages out.
        if (++count == 100) {
            const Eigen::Vector3d up = sum.normalized();
            forward.push_back(std::asin(std::clamp(up.z(), -1.0, 1.0)) * kRadToDeg);
            sideways.push_back(std::asin(std::clamp(up.x(), -1.0, 1.0)) * kRadToDeg);
            sum.setZero();
            count = 0;
        }
    }
    const auto range = [](std::vector<double> v) {
        if (v.size() < 10) return 0.0;
        std::sort(v.begin(), v.end());
        return v[v.size() * 99 / 100] - v[v.size() / 100];
    };
    const double nods = range(forward);
    if (nods < minRangeDeg)
        return FormatMessage("nod: tilt the head forward and back; it tilted through only %.0f \xC2\xB0 (%.0f \xC2\xB0 needed)",
                             nods, minRangeDeg);
    const double tilts = range(sideways);
    if (tilts < minRangeDeg)
        return FormatMessage("tilt the head to each shoulder; it tilted through only %.0f \xC2\xB0 (%.0f \xC2\xB0 needed)",
                             tilts, minRangeDeg);
    return {};
}

}  // namespace halvex::calibration
