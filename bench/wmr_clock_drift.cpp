// The WMR head over a long session whose headset clock drifts against driver
// time: reports are encoded by the simulated headset, decoded as the driver does
// (with the clock offset kept over a sliding window, and with the minimum of all
// time for comparison), fused with delayed optical poses, and the fused
// orientation is compared with the truth at the time each pose claims.
// Prints the orientation error per minute for both clock estimates.
#include "fusion/fusion_filter.h"
#include "fusion/head_filter_setups.h"
#include "sim/imu_model.h"
#include "sim/motion_scenario.h"
#include "sim/optical_model.h"
#include "sim/wmr_headset.h"
#include "wmr/headset_clock.h"
#include "wmr/sensor_decoding.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

namespace {

struct sOptions {
    double minutes = 10.0;
    double driftPpm = -50.0;
    double delayMs = 1.0;
    double jitterMs = 1.0;
    double opticalLatencyMs = 12.0;
    std::string scenario = "head-turns";
    uint32_t seed = 3;
};

// The WMR head's filter and optical variances.
constexpr halvex::sFusionFilterParams kWmrParams = halvex::kWmrHeadFilterParams;
constexpr double kPositionVariance = 0.0001;
constexpr double kOrientationVariance = 0.010000000000000002;
constexpr double kRadToDeg = 57.29577951308232;
constexpr double kStart = 5000.0;  // driver time of the session start, far from zero as on a real host

struct sMinuteErrors {
    std::vector<double> sumSquares;
    std::vector<uint64_t> counts;
    void Add(int minute, double degrees) {
        if (minute >= static_cast<int>(counts.size())) {
            sumSquares.resize(minute + 1, 0.0);
            counts.resize(minute + 1, 0);
        }
        sumSquares[minute] += degrees * degrees;
        ++counts[minute];
    }
    double Rms(size_t minute) const {
        return minute < counts.size() && counts[minute] ? std::sqrt(sumSquares[minute] / counts[minute]) : NAN;
    }
};

struct sRun {
    sMinuteErrors fused;
    sMinuteErrors datingErrorMs;  // claimed minus true time of the newest sample
};

sRun Run(const sOptions& options, double windowSeconds) {
    const auto scenario = sim::cMotionScenario::Create(options.scenario, options.seed);
    sim::sWmrHeadsetParams headsetParams;
    headsetParams.driftPpm = options.driftPpm;
    headsetParams.deliveryDelay = options.delayMs / 1000.0;
    headsetParams.deliveryJitter = options.jitterMs / 1000.0;
    const sim::cWmrHeadset headset(sim::cMotionScenario::Create(options.scenario, options.seed), sim::sImuModelParams(),
                                   options.seed, headsetParams);
    sim::sOpticalModelParams opticalParams;
    opticalParams.latency = options.opticalLatencyMs / 1000.0;
    const sim::cOpticalModel optical(*scenario, opticalParams, options.seed);

    halvex::cFusionFilter filter(kWmrParams);
    halvex::wmr::cHeadsetClock clock(windowSeconds);
    sRun run;
    const double end = kStart + options.minutes * 60.0;
    int64_t frame = optical.FirstIndexAtOrAfter(kStart);
    sim::sOpticalFrame nextFrame = optical.Frame(frame);
    for (int64_t k = headset.FirstReportAtOrAfter(kStart); headset.DeliveryTime(k) < end; ++k) {
        const double arrival = headset.DeliveryTime(k);
        while (nextFrame.deliveryTime <= arrival) {
            if (!nextFrame.dropped) {
                const double p[3] = {nextFrame.position.x(), nextFrame.position.y(), nextFrame.position.z()};
                const Eigen::Quaterniond& q = nextFrame.orientation;
                const double o[4] = {q.x(), q.y(), q.z(), q.w()};
                filter.AddOpticalSample(p, kPositionVariance, o, kOrientationVariance, nextFrame.captureTime, 0.0);
            }
            nextFrame = optical.Frame(++frame);
        }
        const std::vector<uint8_t> bytes = headset.Report(k);
        halvex::wmr::sWmrInputReport_Sensors report;
        if (!halvex::wmr::ReadSensorReport(bytes.data(), bytes.size(), report)) continue;
        halvex::wmr::sWmrImuSample samples[halvex::wmr::kSamplesPerReport];
        halvex::wmr::DecodeSensorReport(report, arrival, clock, samples);
        for (const auto& s : samples) filter.AddImuSample(s.linearAcceleration, s.angularVelocity, s.time);
        if (filter.mLastOpticalTime == 0.0 || arrival < kStart + 5.0) continue;
        // The pose claims the newest sample's (decoded) time: compare with the truth then.
        const double claimed = filter.mLastImuTime;
        const double trueTime = static_cast<double>(4 * k + 3) / sim::sImuModelParams().rate;
        const int minute = static_cast<int>((arrival - kStart) / 60.0);
        run.fused.Add(minute, scenario->At(claimed).orientation.angularDistance(filter.Orientation()) * kRadToDeg);
        run.datingErrorMs.Add(minute, (claimed - trueTime) * 1000.0);
    }
    return run;
}

bool ParseOptions(int argc, char** argv, sOptions& options) {
    for (int i = 1; i < argc; ++i) {
        const std::string flag = argv[i];
        if (flag == "--help" || flag == "-h" || i + 1 >= argc) return false;
        const char* text = argv[++i];
        if (flag == "--scenario") {
            if (!sim::cMotionScenario::Create(text)) return false;
            options.scenario = text;
            continue;
        }
        char* end = nullptr;
        const double value = std::strtod(text, &end);
        if (end == text || *end != '\0' || !std::isfinite(value)) return false;
        if (flag == "--minutes" && value > 0.0 && value <= 120.0) options.minutes = value;
        else if (flag == "--drift-ppm" && std::fabs(value) <= 10000.0) options.driftPpm = value;
        else if (flag == "--delay-ms" && value >= 0.0) options.delayMs = value;
        else if (flag == "--jitter-ms" && value >= 0.0) options.jitterMs = value;
        else if (flag == "--optical-latency-ms" && value >= 0.0) options.opticalLatencyMs = value;
        else if (flag == "--seed" && value >= 0.0 && value <= 4294967295.0) options.seed = static_cast<uint32_t>(value);
        else return false;
    }
    return true;
}

}  // namespace

int main(int argc, char** argv) {
    sOptions options;
    if (!ParseOptions(argc, argv, options)) {
        std::fprintf(stderr,
                     "usage: wmr_clock_drift [--minutes 10] [--drift-ppm -50] [--delay-ms 1] [--jitter-ms 1]\n"
                     "                       [--optical-latency-ms 12] [--scenario head-turns] [--seed 3]\n"
                     "  --drift-ppm: headset clock rate against driver time (negative: slower)\n");
        return 2;
    }
    std::printf("WMR head, %s, %g min, headset clock %+g ppm, report delay %g ms + up to %g ms jitter, optical latency %g ms\n\n",
                options.scenario.c_str(), options.minutes, options.driftPpm, options.delayMs, options.jitterMs,
                options.opticalLatencyMs);
    const sRun whole = Run(options, halvex::wmr::cHeadsetClock::kWholeHistory);
    const sRun window = Run(options, halvex::wmr::cHeadsetClock::kDefaultWindowSeconds);
    std::printf("%-7s %22s %22s %22s %22s\n", "minute", "ori RMS deg (all-time)", "ori RMS deg (window)",
                "dating ms (all-time)", "dating ms (window)");
    const size_t minutes = whole.fused.counts.size();
    for (size_t m = 0; m < minutes; ++m) {
        std::printf("%-7zu %22.4f %22.4f %22.3f %22.3f\n", m + 1, whole.fused.Rms(m), window.fused.Rms(m),
                    whole.datingErrorMs.Rms(m), window.datingErrorMs.Rms(m));
    }
    if (minutes >= 2) {
        const size_t last = minutes - 1;
        std::printf("\nlast/first minute orientation RMS: all-time minimum %.2f, sliding window %.2f\n",
                    whole.fused.Rms(last) / whole.fused.Rms(0), window.fused.Rms(last) / window.fused.Rms(0));
    }
    return 0;
}
