// Where the WMR head's position error comes from. The head of a simulated session is
// run offline the way the driver runs it (reports encoded by the simulated headset,
// decoded and dated by the driver's code, fused with the WMR head's filter set-up and
// delayed optical poses), and again with one suspect removed at a time: the dating
// of the samples, the accelerometer and gyroscope biases the filter does not know,
// the optical position variance, the gyroscope noise. Each row prints the fused
// head's error against the truth, at the time each pose claims and at the true time
// of its newest sample, and the accelerometer bias the filter has learned.
#include "fusion/fusion_filter.h"
#include "fusion/head_filter_setups.h"
#include "sim/imu_model.h"
#include "sim/motion_scenario.h"
#include "sim/offset_motion.h"
#include "sim/optical_model.h"
#include "sim/sensor_profile.h"
#include "sim/tracking_geometry.h"
#include "sim/wmr_headset.h"
#include "wmr/headset_clock.h"
#include "wmr/sensor_decoding.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

namespace {

struct sOptions {
    double seconds = 30.0;
    double delayMs = 1.0;
    double opticalLatencyMs = 12.0;
    double opticalRate = 120.0;     // the simulated mocap server's default
    double opticalNoiseMm = 0.0;    // the simulated mocap server streams the truth
    std::string scenario;           // empty: all
    uint32_t seed = sim::SeedForRigidBody(3);  // the demo's head body
    sim::eSensorProfile profile = sim::eSensorProfile::Ideal;  // the IMU's; the optical model stays exact
    double accelBiasPrior = 0.0;  // initial bias variances of the "bias prior" row; 0: none
    double gyroBiasPrior = 0.0;
};

constexpr halvex::sFusionFilterParams kWmrParams = halvex::kWmrHeadFilterParams;
constexpr halvex::sFusionFilterParams kLighthouseParams{0.1, 0.01, 1e-8, 1e-8};
constexpr double kWmrPositionVariance = 0.0001;
constexpr double kLighthousePositionVariance = 1e-6;
constexpr double kOrientationVariance = 0.010000000000000002;
constexpr double kRadToDeg = 57.29577951308232;
constexpr double kStart = 5000.0;  // driver time of the session start, far from zero as on a real host
constexpr double kSettleSeconds = 2.0;
constexpr double kTailSeconds = 10.0;  // the error once the filter has had the whole run to learn

struct sVariant {
    const char* name;
    halvex::sFusionFilterParams params = kWmrParams;
    double positionVariance = kWmrPositionVariance;
    bool seedAccelBias = false;  // the filter starts from the IMU's true biases
    bool seedGyroBias = false;
    bool trueSampleTimes = false;  // samples dated exactly instead of by the headset clock
    bool biasFreeImu = false;
};

struct sRms {
    double sum = 0.0;
    uint64_t count = 0;
    void Add(double v) {
        sum += v * v;
        ++count;
    }
    double Value() const { return count ? std::sqrt(sum / count) : NAN; }
};

struct sResult {
    sRms positionClaimedMm, orientationClaimedDeg, positionTrueMm, datingMs, positionTailMm;
    Eigen::Vector3d learnedAccelBias = Eigen::Vector3d::Zero();
    Eigen::Vector3d learnedGyroBias = Eigen::Vector3d::Zero();
};

sResult Run(const sOptions& options, const std::string& scenarioName, const sVariant& variant) {
    // As in vrhost: the headset's IMU sits at the head frame, which the rigid body also describes.
    auto headMotion = [&] {
        return std::make_unique<sim::cOffsetMotion>(sim::cMotionScenario::Create(scenarioName, options.seed),
                                                    sim::HeadsetImuToHead().inverse());
    };
    const auto truth = headMotion();
    sim::sImuModelParams imuParams = sim::MakeSensorProfile(options.profile, options.seed).UncalibratedImu();
    if (variant.biasFreeImu) imuParams.accelBias = imuParams.gyroBias = Eigen::Vector3d::Zero();
    sim::sWmrHeadsetParams headsetParams;
    headsetParams.deliveryDelay = options.delayMs / 1000.0;
    const sim::cWmrHeadset headset(headMotion(), imuParams, options.seed, headsetParams);
    sim::sOpticalModelParams opticalParams;
    opticalParams.rate = options.opticalRate;
    opticalParams.latency = options.opticalLatencyMs / 1000.0;
    opticalParams.positionNoise = options.opticalNoiseMm / 1000.0;
    opticalParams.orientationNoise = 0.0;
    opticalParams.dropProbability = 0.0;
    const sim::cOpticalModel optical(*truth, opticalParams, options.seed);

    halvex::cFusionFilter filter(variant.params);
    filter.SeedBiases(variant.seedAccelBias ? imuParams.accelBias : Eigen::Vector3d::Zero(),
                      variant.seedGyroBias ? imuParams.gyroBias : Eigen::Vector3d::Zero());
    halvex::wmr::cHeadsetClock clock;
    sResult result;
    const double end = kStart + options.seconds;
    int64_t frame = optical.FirstIndexAtOrAfter(kStart);
    sim::sOpticalFrame nextFrame = optical.Frame(frame);
    for (int64_t k = headset.FirstReportAtOrAfter(kStart); headset.DeliveryTime(k) < end; ++k) {
        const double arrival = headset.DeliveryTime(k);
        while (nextFrame.deliveryTime <= arrival) {
            const double p[3] = {nextFrame.position.x(), nextFrame.position.y(), nextFrame.position.z()};
            const Eigen::Quaterniond& q = nextFrame.orientation;
            const double o[4] = {q.x(), q.y(), q.z(), q.w()};
            filter.AddOpticalSample(p, variant.positionVariance, o, kOrientationVariance, nextFrame.captureTime, 0.0);
            nextFrame = optical.Frame(++frame);
        }
        const std::vector<uint8_t> bytes = headset.Report(k);
        halvex::wmr::sWmrInputReport_Sensors report;
        if (!halvex::wmr::ReadSensorReport(bytes.data(), bytes.size(), report)) continue;
        halvex::wmr::sWmrImuSample samples[halvex::wmr::kSamplesPerReport];
        halvex::wmr::DecodeSensorReport(report, arrival, clock, samples);
        for (int i = 0; i < halvex::wmr::kSamplesPerReport; ++i) {
            const double trueTime = static_cast<double>(sim::kWmrSamplesPerReport * k + i) / imuParams.rate;
            const double time = variant.trueSampleTimes ? trueTime : samples[i].time;
            filter.AddImuSample(samples[i].linearAcceleration, samples[i].angularVelocity, time);
        }
        if (filter.mLastOpticalTime == 0.0 || arrival < kStart + kSettleSeconds) continue;
        const double claimed = filter.mLastImuTime;
        const double newestTrueTime = static_cast<double>(sim::kWmrSamplesPerReport * k + 3) / imuParams.rate;
        const sim::sMotionState atClaim = truth->At(claimed);
        const double positionErrorMm = (filter.Position() - atClaim.position).norm() * 1000.0;
        result.positionClaimedMm.Add(positionErrorMm);
        if (arrival >= end - kTailSeconds) result.positionTailMm.Add(positionErrorMm);
        result.orientationClaimedDeg.Add(atClaim.orientation.angularDistance(filter.Orientation()) * kRadToDeg);
        result.positionTrueMm.Add((filter.Position() - truth->At(newestTrueTime).position).norm() * 1000.0);
        result.datingMs.Add((claimed - newestTrueTime) * 1000.0);
    }
    result.learnedAccelBias = filter.mState.segment<3>(halvex::FusionState_AccelBias);
    result.learnedGyroBias = filter.mState.segment<3>(halvex::FusionState_GyroBias);
    return result;
}

std::vector<sVariant> Variants(const sOptions& options) {
    std::vector<sVariant> v;
    v.push_back({"as the driver runs"});
    if (options.accelBiasPrior > 0.0 || options.gyroBiasPrior > 0.0) {
        v.push_back({"given bias prior"});
        v.back().params.initialAccelBiasVariance = options.accelBiasPrior;
        v.back().params.initialGyroBiasVariance = options.gyroBiasPrior;
    }
    v.push_back({"true sample times"});
    v.back().trueSampleTimes = true;
    v.push_back({"gyro bias known"});
    v.back().seedGyroBias = true;
    v.push_back({"accel bias known"});
    v.back().seedAccelBias = true;
    v.push_back({"both biases known"});
    v.back().seedAccelBias = v.back().seedGyroBias = true;
    v.push_back({"bias-free IMU"});
    v.back().biasFreeImu = true;
    v.push_back({"optical var 1e-6"});
    v.back().positionVariance = kLighthousePositionVariance;
    v.push_back({"gyroNoise 0.01"});
    v.back().params = kLighthouseParams;
    v.push_back({"var 1e-6, biases known"});
    v.back().positionVariance = kLighthousePositionVariance;
    v.back().seedAccelBias = v.back().seedGyroBias = true;
    v.push_back({"Lighthouse set-up"});  // its filter values, factory biases, exact dating
    v.back().params = kLighthouseParams;
    v.back().positionVariance = kLighthousePositionVariance;
    v.back().seedAccelBias = v.back().seedGyroBias = true;
    v.back().trueSampleTimes = true;
    return v;
}

bool ParseOptions(int argc, char** argv, sOptions& options) {
    for (int i = 1; i < argc; ++i) {
        const std::string flag = argv[i];
        if (flag == "--help" || flag == "-h" || i + 1 >= argc) return false;
        const char* text = argv[++i];
        if (flag == "--profile") {
            if (!sim::ParseSensorProfile(text, options.profile)) return false;
            continue;
        }
        if (flag == "--scenario") {
            if (!sim::cMotionScenario::Create(text)) return false;
            options.scenario = text;
            continue;
        }
        char* end = nullptr;
        const double value = std::strtod(text, &end);
        if (end == text || *end != '\0' || !std::isfinite(value)) return false;
        if (flag == "--seconds" && value >= kSettleSeconds + kTailSeconds && value <= 3600.0) options.seconds = value;
        else if (flag == "--delay-ms" && value >= 0.0 && value <= 100.0) options.delayMs = value;
        else if (flag == "--optical-latency-ms" && value >= 0.0 && value <= 100.0) options.opticalLatencyMs = value;
        else if (flag == "--optical-rate" && value >= 1.0 && value <= 1000.0) options.opticalRate = value;
        else if (flag == "--optical-noise-mm" && value >= 0.0 && value <= 100.0) options.opticalNoiseMm = value;
        else if (flag == "--accel-bias-prior" && value > 0.0) options.accelBiasPrior = value;
        else if (flag == "--gyro-bias-prior" && value > 0.0) options.gyroBiasPrior = value;
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
                     "usage: wmr_position_error [--seconds 30] [--scenario NAME (default: all)] [--delay-ms 1]\n"
                     "                          [--optical-latency-ms 12] [--optical-rate 120] [--optical-noise-mm 0]\n"
                     "                          [--seed N (default: the demo's head body)] [--profile ideal|realistic]\n"
                     "                          [--accel-bias-prior VAR] [--gyro-bias-prior VAR]\n");
        return 2;
    }
    const sim::sImuModelParams imu = sim::MakeSensorProfile(options.profile, options.seed).UncalibratedImu();
    std::printf("WMR head offline: %g s per row after %g s settling, report delay %g ms, optical %g Hz, %g ms latency, "
                "%g mm noise\nIMU accel bias (%g, %g, %g) m/s^2, gyro bias (%g, %g, %g) rad/s\n",
                options.seconds - kSettleSeconds, kSettleSeconds, options.delayMs, options.opticalRate,
                options.opticalLatencyMs, options.opticalNoiseMm, imu.accelBias.x(), imu.accelBias.y(),
                imu.accelBias.z(), imu.gyroBias.x(), imu.gyroBias.y(), imu.gyroBias.z());
    std::vector<std::string> names = sim::cMotionScenario::Names();
    if (!options.scenario.empty()) names = {options.scenario};
    for (const std::string& name : names) {
        std::printf("\n%-11s %-24s %8s %8s %11s %9s %9s %23s %26s\n", name.c_str(), "variant", "pos mm", "ori deg",
                    "pos@true mm", "dating ms", "last 10 s", "learned accel bias", "learned gyro bias");
        for (const sVariant& variant : Variants(options)) {
            const sResult r = Run(options, name, variant);
            std::printf("%-11s %-24s %8.3f %8.4f %11.3f %9.3f %9.3f   %+6.4f %+6.4f %+6.4f   %+7.5f %+7.5f %+7.5f\n", "",
                        variant.name, r.positionClaimedMm.Value(), r.orientationClaimedDeg.Value(),
                        r.positionTrueMm.Value(), r.datingMs.Value(), r.positionTailMm.Value(), r.learnedAccelBias.x(),
                        r.learnedAccelBias.y(),
                        r.learnedAccelBias.z(), r.learnedGyroBias.x(), r.learnedGyroBias.y(), r.learnedGyroBias.z());
        }
    }
    std::printf("\npos, ori: fused head against the truth at the time the pose claims; pos@true: at the true time\n"
                "of its newest sample; dating: RMS of claimed minus true time; last 10 s: pos over the run's last\n"
                "10 s; learned biases: the filter's estimates at the end (the IMU's true biases are above).\n");
    return 0;
}
