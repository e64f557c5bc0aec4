// Tracking accuracy of the head filter on simulated motion: the fused state and
// the newest optical pose (what a device without fusion reports) are compared,
// at every IMU sample after a settling time, with the truth at that moment. The
// sensors follow a profile (sim/sensor_profile.h): ideal or realistic.
#include "calibration.h"
#include "fusion/fusion_filter.h"
#include "simulated_recording.h"
#include "sim/imu_model.h"
#include "sim/motion_scenario.h"
#include "sim/optical_model.h"
#include "sim/sensor_error_options.h"
#include "sim/sensor_profile.h"
#include "sim/tracking_geometry.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

namespace {

struct sOptions {
    double opticalLatencyMs = 12.0;
    double opticalRate = 120.0;
    double seconds = 60.0;
    uint32_t seed = 1;
    sim::eSensorProfile profile = sim::eSensorProfile::Ideal;
    std::vector<std::string> without;  // error sources of the profile left out
    sim::sSensorErrorOverrides errors;
    // Record the calibration scenario with the same sensors, estimate, apply.
    bool calibrated = false;
};

// What --calibrated applies, as the driver would from its settings.
struct sAppliedCalibration {
    bool active = false;
    Eigen::Isometry3d rigidBodyInDevice = Eigen::Isometry3d::Identity();
    double opticalTimeOffset = 0.0;
    Eigen::Matrix3d gyroCorrection = Eigen::Matrix3d::Identity();
    Eigen::Matrix3d accelCorrection = Eigen::Matrix3d::Identity();
    Eigen::Vector3d gyroBias = Eigen::Vector3d::Zero();
    Eigen::Vector3d accelBias = Eigen::Vector3d::Zero();
    double positionVariance = 0.0;
    double orientationVariance = 0.0;
};

// The realistic profile's error sources, each of which --without can leave out,
// so that what a table shows can be traced to its cause.
const char* const kErrorSources[] = {"bias-walk", "sensor-error", "calibration", "imu-jitter",
                                     "stamp", "frame-jitter", "occlusion", "rigid-body"};

void LeaveOut(const std::string& source, sim::sSensorProfile& p) {
    if (source == "bias-walk") {
        p.imu.accelBiasWalk = p.imu.gyroBiasWalk = 0.0;
    } else if (source == "sensor-error") {
        p.imu.accelSensorError = p.imu.gyroSensorError = Eigen::Matrix3d::Identity();
    } else if (source == "calibration") {
        p.imuToHeadError = Eigen::Isometry3d::Identity();
    } else if (source == "imu-jitter") {
        p.imu.sampleTimeJitter = 0.0;
    } else if (source == "stamp") {
        p.optical.latencyStampError = p.optical.latencyJitter = 0.0;
    } else if (source == "frame-jitter") {
        p.optical.frameTimeJitter = 0.0;
    } else if (source == "occlusion") {
        p.optical.occlusionProbability = 0.0;
    } else if (source == "rigid-body") {
        p.rigidBodyError = Eigen::Isometry3d::Identity();
    }
}

// Lighthouse head values.
constexpr halvex::sFusionFilterParams kFilterParams{0.1, 0.01, 1e-8, 1e-8};
constexpr double kPositionVariance = 1e-6;
constexpr double kOrientationVariance = 0.010000000000000002;
constexpr double kRadToDeg = 57.29577951308232;

struct sErrorSeries {
    std::vector<double> positionMm;
    std::vector<double> orientationDeg;
    void Add(const Eigen::Vector3d& position, const Eigen::Quaterniond& orientation,
             const sim::sMotionState& truth) {
        positionMm.push_back((position - truth.position).norm() * 1000.0);
        orientationDeg.push_back(truth.orientation.angularDistance(orientation) * kRadToDeg);
    }
};

struct sSummary {
    double rms = 0.0;
    double p99 = 0.0;
};

sSummary Summarise(std::vector<double> values) {
    sSummary summary;
    if (values.empty()) return summary;
    double sum = 0.0;
    for (double v : values) sum += v * v;
    summary.rms = std::sqrt(sum / values.size());
    const size_t rank = static_cast<size_t>(0.99 * (values.size() - 1));
    std::nth_element(values.begin(), values.begin() + rank, values.end());
    summary.p99 = values[rank];
    return summary;
}

struct sScenarioResult {
    sSummary fusedPosition, fusedOrientation, opticalPosition, opticalOrientation;
};

sim::sSensorProfile SensorsOf(const sOptions& options) {
    sim::sSensorProfile sensors = sim::MakeSensorProfile(options.profile, options.seed, options.errors);
    for (const std::string& source : options.without) LeaveOut(source, sensors);
    sensors.optical.rate = options.opticalRate;
    sensors.optical.latency = options.opticalLatencyMs / 1000.0;
    return sensors;
}

// One minute of the calibration motion with the bench's sensors, calibrated.
bool CalibrateSensors(const sOptions& options, sAppliedCalibration& applied) {
    const halvex::calibration::sCalibrationRecording recording =
        halvex::calibration::SimulateRecording("calibration", SensorsOf(options), options.seed, 60.0);
    const halvex::calibration::sCalibrationResult r = halvex::calibration::Calibrate(recording);
    if (!r.ok) {
        std::fprintf(stderr, "fusion_accuracy: calibration refused: %s\n", r.refusal.c_str());
        return false;
    }
    applied.active = true;
    applied.rigidBodyInDevice = halvex::calibration::RigidBodyInDevice(r.value);
    applied.opticalTimeOffset = r.value.opticalTimeOffsetMs / 1000.0;
    applied.gyroCorrection = r.value.gyroCorrection;
    applied.accelCorrection = r.value.accelCorrection;
    applied.gyroBias = r.value.gyroBias;
    applied.accelBias = r.value.accelBias;
    applied.positionVariance = r.noise.opticalPositionVariance;
    applied.orientationVariance = r.noise.opticalOrientationVariance;
    std::printf("calibrated from 60 s of the calibration scenario: rigid body %.3f deg, %.2f mm; offset %+.3f ms\n\n",
                Eigen::AngleAxisd(applied.rigidBodyInDevice.rotation()).angle() * kRadToDeg,
                applied.rigidBodyInDevice.translation().norm() * 1000.0, r.value.opticalTimeOffsetMs);
    return true;
}

sScenarioResult RunScenario(const std::string& name, const sOptions& options, const sAppliedCalibration& calibration) {
    const auto scenario = sim::cMotionScenario::Create(name, options.seed);
    const sim::sSensorProfile sensors = SensorsOf(options);
    const sim::cImuModel imu(*scenario, sensors.imu, options.seed);
    const sim::cOpticalModel optical(*scenario, sensors.optical, options.seed);
    // The optical pose turned into the IMU frame with the published IMU-to-head
    // transform lands off the true IMU frame by the headset's miscalibrated
    // transform and by the rigid body's error. The truth is the true head frame
    // (what the wearer sees), in the IMU frame through the published transform.
    const Eigen::Isometry3d published = sim::HeadsetImuToHead();
    const Eigen::Isometry3d trueImuToHead = published * sensors.imuToHeadError;
    const Eigen::Isometry3d measuredFromTrue =
        trueImuToHead.inverse() * sensors.rigidBodyError * calibration.rigidBodyInDevice.inverse() * published;
    const double positionVariance = calibration.positionVariance > 0.0 ? calibration.positionVariance : kPositionVariance;
    const double orientationVariance =
        calibration.orientationVariance > 0.0 ? calibration.orientationVariance : kOrientationVariance;
    const Eigen::Isometry3d truthFromTrue = sensors.imuToHeadError.inverse();
    const auto transformed = [](const Eigen::Isometry3d& by, const Eigen::Vector3d& p, const Eigen::Quaterniond& q,
                                Eigen::Vector3d& position, Eigen::Quaterniond& orientation) {
        position = p + q * by.translation();
        orientation = (q * Eigen::Quaterniond(by.rotation())).normalized();
    };
    const auto measured = [&](const Eigen::Vector3d& p, const Eigen::Quaterniond& q, Eigen::Vector3d& position,
                              Eigen::Quaterniond& orientation) { transformed(measuredFromTrue, p, q, position, orientation); };

    // Far from zero, as driver time is, so large time stamps are exercised.
    const double start = 1000.0;
    const double settle = std::min(5.0, options.seconds / 4.0);
    halvex::cFusionFilter filter(kFilterParams);
    sErrorSeries fused, opticalOnly;

    int64_t frameIndex = optical.FirstIndexAtOrAfter(start);
    sim::sOpticalFrame nextFrame = optical.Frame(frameIndex);
    bool haveOptical = false;
    sim::sOpticalFrame newestOptical;

    const int64_t first = imu.FirstIndexAtOrAfter(start);
    const int64_t last = imu.FirstIndexAtOrAfter(start + options.seconds);
    for (int64_t i = first; i < last; ++i) {
        const sim::sImuSample sample = imu.Sample(i);
        while (nextFrame.deliveryTime <= sample.time) {
            if (!nextFrame.dropped) {
                measured(nextFrame.position, nextFrame.orientation, nextFrame.position, nextFrame.orientation);
                const double position[3] = {nextFrame.position.x(), nextFrame.position.y(),
                                            nextFrame.position.z()};
                const Eigen::Quaterniond& q = nextFrame.orientation;
                const double orientation[4] = {q.x(), q.y(), q.z(), q.w()};
                filter.AddOpticalSample(position, positionVariance, orientation, orientationVariance,
                                        nextFrame.captureTime + calibration.opticalTimeOffset, 0.0);
                newestOptical = nextFrame;
                haveOptical = true;
            }
            nextFrame = optical.Frame(++frameIndex);
        }
        if (calibration.active) {
            const Eigen::Vector3d accel = calibration.accelCorrection * (sample.accelerometer - calibration.accelBias);
            const Eigen::Vector3d gyro = calibration.gyroCorrection * (sample.gyroscope - calibration.gyroBias);
            filter.AddImuSample(accel.data(), gyro.data(), sample.time);
        } else {
            filter.AddImuSample(sample.accelerometer.data(), sample.gyroscope.data(), sample.time);
        }

        if (sample.time < start + settle || !haveOptical || filter.mLastOpticalTime == 0.0) continue;
        sim::sMotionState truth = scenario->At(sample.trueTime);
        transformed(truthFromTrue, truth.position, truth.orientation, truth.position, truth.orientation);
        fused.Add(filter.Position(), filter.Orientation(), truth);
        opticalOnly.Add(newestOptical.position, newestOptical.orientation, truth);
    }

    sScenarioResult result;
    result.fusedPosition = Summarise(fused.positionMm);
    result.fusedOrientation = Summarise(fused.orientationDeg);
    result.opticalPosition = Summarise(opticalOnly.positionMm);
    result.opticalOrientation = Summarise(opticalOnly.orientationDeg);
    return result;
}

bool ParseOptions(int argc, char** argv, sOptions& options) {
    for (int i = 1; i < argc; ++i) {
        const std::string flag = argv[i];
        if (flag == "--help" || flag == "-h") return false;
        if (flag == "--calibrated") {
            options.calibrated = true;
            continue;
        }
        if (i + 1 >= argc) {
            std::fprintf(stderr, "fusion_accuracy: %s needs a value\n", flag.c_str());
            return false;
        }
        if (flag == "--profile") {
            if (!sim::ParseSensorProfile(argv[++i], options.profile)) {
                std::fprintf(stderr, "fusion_accuracy: --profile: expected ideal or realistic, got '%s'\n", argv[i]);
                return false;
            }
            continue;
        }
        {
            bool ok = true;
            std::string reason;
            if (sim::TakeSensorErrorOption(flag, argv[i + 1], options.errors, ok, reason)) {
                ++i;
                if (!ok) {
                    std::fprintf(stderr, "fusion_accuracy: %s\n", reason.c_str());
                    return false;
                }
                continue;
            }
        }
        if (flag == "--without") {
            const std::string source = argv[++i];
            if (std::find(std::begin(kErrorSources), std::end(kErrorSources), source) == std::end(kErrorSources)) {
                std::fprintf(stderr, "fusion_accuracy: --without: unknown error source '%s'\n", source.c_str());
                return false;
            }
            options.without.push_back(source);
            continue;
        }
        char* end = nullptr;
        const char* text = argv[++i];
        const double value = std::strtod(text, &end);
        if (end == text || *end != '\0' || !std::isfinite(value)) {
            std::fprintf(stderr, "fusion_accuracy: bad value '%s' for %s\n", text, flag.c_str());
            return false;
        }
        if (flag == "--optical-latency-ms" && value >= 0.0) {
            options.opticalLatencyMs = value;
        } else if (flag == "--optical-rate" && value > 0.0) {
            options.opticalRate = value;
        } else if (flag == "--seconds" && value > 0.0) {
            options.seconds = value;
        } else if (flag == "--seed" && value >= 0.0 && value <= 4294967295.0) {
            options.seed = static_cast<uint32_t>(value);
        } else {
            std::fprintf(stderr, "fusion_accuracy: unknown option or value out of range: %s %s\n",
                         flag.c_str(), text);
            return false;
        }
    }
    return true;
}

double Ratio(double numerator, double denominator) {
    return denominator > 0.0 ? numerator / denominator : 0.0;
}

}  // namespace

int main(int argc, char** argv) {
    sOptions options;
    if (!ParseOptions(argc, argv, options)) {
        std::fprintf(stderr,
                     "usage: fusion_accuracy [--optical-latency-ms 12] [--optical-rate 120] "
                     "[--seconds 60] [--seed 1] [--profile ideal|realistic] [--without SOURCE]... [--calibrated]\n"
                     "       [--rigid-body-error RX,RY,RZ,TX,TY,TZ] [--latency-stamp-error MS]\n"
                     "       [--imu-to-head-error RX,RY,RZ,TX,TY,TZ]\n"
                     "sources: bias-walk sensor-error calibration imu-jitter stamp frame-jitter occlusion rigid-body\n");
        return 2;
    }
    std::printf("%s sensors: IMU 1000 Hz, optical %g Hz with %g ms latency, %g s per scenario, seed %u\n\n",
                sim::SensorProfileName(options.profile), options.opticalRate, options.opticalLatencyMs,
                options.seconds, options.seed);
    for (const std::string& source : options.without) std::printf("without %s\n", source.c_str());
    if (!options.without.empty()) std::printf("\n");
    std::printf("%-12s %-13s %12s %12s %13s %13s\n", "scenario", "estimator", "pos RMS mm",
                "pos p99 mm", "ori RMS deg", "ori p99 deg");

    sAppliedCalibration calibration;
    if (options.calibrated && !CalibrateSensors(options, calibration)) return 1;
    sScenarioResult headTurns;
    for (const std::string& name : sim::cMotionScenario::Names()) {
        const sScenarioResult r = RunScenario(name, options, calibration);
        std::printf("%-12s %-13s %12.3f %12.3f %13.4f %13.4f\n", name.c_str(), "fused",
                    r.fusedPosition.rms, r.fusedPosition.p99, r.fusedOrientation.rms,
                    r.fusedOrientation.p99);
        std::printf("%-12s %-13s %12.3f %12.3f %13.4f %13.4f\n", name.c_str(), "optical-only",
                    r.opticalPosition.rms, r.opticalPosition.p99, r.opticalOrientation.rms,
                    r.opticalOrientation.p99);
        if (name == "head-turns") headTurns = r;
    }
    std::printf("\nheadline: head-turns fused/optical-only orientation RMS ratio %.3f, position RMS ratio %.3f\n",
                Ratio(headTurns.fusedOrientation.rms, headTurns.opticalOrientation.rms),
                Ratio(headTurns.fusedPosition.rms, headTurns.opticalPosition.rms));
    return 0;
}
