#include "sensor_profile.h"

#include "seeded_random.h"

#include <cmath>

namespace sim {
namespace {

constexpr double kDegree = 3.14159265358979323846 / 180.0;
constexpr double kStandardGravity = 9.80665;
// An IMU sampled at 1 kHz passes noise up to about 500 Hz: per-sample standard
// deviation = noise density * sqrt(500 Hz).
const double kRootBandwidth = std::sqrt(500.0);

// Scale errors on the diagonal, cross-axis terms off it, each uniform in +-bound.
Eigen::Matrix3d SensorError(cSeededRandom& random, double scaleBound, double crossAxisBound) {
    Eigen::Matrix3d m = Eigen::Matrix3d::Identity();
    for (int r = 0; r < 3; ++r)
        for (int c = 0; c < 3; ++c) m(r, c) += random.Uniform(-1.0, 1.0) * (r == c ? scaleBound : crossAxisBound);
    return m;
}

Eigen::Vector3d RandomDirection(cSeededRandom& random) {
    const Eigen::Vector3d v(random.Gaussian(), random.Gaussian(), random.Gaussian());
    return v.norm() > 0.0 ? v.normalized() : Eigen::Vector3d::UnitX();
}

sSensorProfile Realistic(uint32_t seed) {
    sSensorProfile p;
    sImuModelParams& imu = p.imu;
    // White noise: BMI088 datasheet (Bosch Sensortec BST-BMI088-DS001), gyroscope
    // output noise 0.014 deg/s/sqrt(Hz); accelerometer noise density 175 ug/sqrt(Hz)
    // (assumed: that sheet's order, the exact figure not re-checked).
    imu.gyroNoise = 0.014 * kDegree * kRootBandwidth;
    imu.accelNoise = 175e-6 * kStandardGravity * kRootBandwidth;
    // Bias random walk standing for the drift of a warming headset: BMI088
    // datasheet, gyroscope zero-rate offset over temperature 0.015 deg/s/K and
    // accelerometer offset over temperature 0.2 mg/K; a headset warms by about
    // 10 K in its first 10 minutes (assumed), taken as a walk reaching that drift
    // in 600 s.
    imu.gyroBiasWalk = 0.015 * kDegree * 10.0 / std::sqrt(600.0);
    imu.accelBiasWalk = 0.2e-3 * kStandardGravity * 10.0 / std::sqrt(600.0);
    // Sample time jitter: the runtime stamps IMU samples that arrive in USB 2.0
    // high-speed microframes of 125 us (USB 2.0 standard); a
    // standard deviation of a third of one (assumed).
    imu.sampleTimeJitter = 40e-6;

    cSeededRandom errors(StreamSeed(seed, kSensorErrorStream, 0));
    // Scale factor and axis misalignment, uncorrected (the published factory
    // scales are 1): +-1 % each, for gyroscope and accelerometer alike (assumed:
    // the order consumer MEMS datasheets state, no single sheet checked for it).
    imu.gyroSensorError = SensorError(errors, 0.01, 0.01);
    imu.accelSensorError = SensorError(errors, 0.01, 0.01);
    // The IMU frame is the accelerometer's: its z axis exact, its y axis in the y-z
    // plane. A rotation shared by both sensors is the IMU's mounting, not an error
    // of either, and no recording could tell it from the rigid body's rotation.
    for (int r = 1; r < 3; ++r)
        for (int c = 0; c < r; ++c) imu.accelSensorError(r, c) = 0.0;
    // The factory's IMU-to-head transform, off by a fraction of a degree and a few
    // millimetres (assumed: what a production fixture holds; no datasheet states it).
    const Eigen::AngleAxisd turn(0.3 * kDegree, RandomDirection(errors));
    p.imuToHeadError.linear() = turn.toRotationMatrix();
    p.imuToHeadError.translation() = 0.003 * RandomDirection(errors);

    // Drawn from streams of their own, so the draws above stay what they were.
    cSeededRandom rigidBody(StreamSeed(seed, kSensorErrorStream, 1));
    // A rigid body defined by hand from markers: its pivot placed by eye on a head
    // or a hand, centimetres off, its axes lined up with the device's by eye,
    // degrees off (assumed: what such hand-made definitions are usually off by).
    const Eigen::AngleAxisd bodyTurn(rigidBody.Uniform(1.0, 5.0) * kDegree, RandomDirection(rigidBody));
    p.rigidBodyError.linear() = bodyTurn.toRotationMatrix();
    p.rigidBodyError.translation() = rigidBody.Uniform(0.010, 0.050) * RandomDirection(rigidBody);
    // A factory calibrates the biases once, at one temperature; the BMI088 sheet's
    // offsets over temperature (0.015 deg/s/K, 0.2 mg/K) over a few kelvin give
    // what it is off by later (assumed 3 K: +-0.045 deg/s and +-0.6 mg per axis).
    cSeededRandom factory(StreamSeed(seed, kSensorErrorStream, 2));
    for (int i = 0; i < 3; ++i) {
        p.factoryGyroBiasResidual[i] = factory.Uniform(-1.0, 1.0) * 0.045 * kDegree;
        p.factoryAccelBiasResidual[i] = factory.Uniform(-1.0, 1.0) * 0.6e-3 * kStandardGravity;
    }
    // Constant biases of a headset IMU that no factory calibration corrects: consumer
    // MEMS gyroscopes leave the factory with zero-rate offsets of a few mrad/s and
    // accelerometers with zero-g offsets of tens of mg (assumed: the order consumer
    // MEMS datasheets state, no single sheet checked for it). Drawn from a stream of
    // their own too.
    cSeededRandom offsets(StreamSeed(seed, kSensorErrorStream, 3));
    for (int i = 0; i < 3; ++i) p.uncalibratedGyroBias[i] = offsets.Uniform(-0.004, 0.004);
    for (int i = 0; i < 3; ++i) p.uncalibratedAccelBias[i] = offsets.Uniform(-0.03, 0.03) * kStandardGravity;

    sOpticalModelParams& optical = p.optical;
    // Marker-based mocap noise, 0.3 mm per axis and 0.15 deg for a head-sized rigid
    // body (assumed: sub-millimetre static noise is what such systems are usually
    // quoted at; the published measurements at hand each name the system they
    // measured, so none is cited).
    optical.positionNoise = 0.0003;
    optical.orientationNoise = 0.15 * kDegree;
    // Exposure times jitter little (hardware-synchronised cameras, assumed 0.1 ms);
    // the delivery latency varies from frame to frame by more than the stamp
    // reports, and the stamp misjudges it by a constant (assumed 1 ms and 2 ms).
    optical.frameTimeJitter = 0.0001;
    optical.latencyJitter = 0.001;
    optical.latencyStampError = 0.002;
    // Occlusion bursts of 0.2 to 1 s with no frames: a hand or the head itself
    // hiding markers, about once every 13 s (assumed).
    optical.occlusionProbability = 0.3;
    optical.occlusionSlot = 4.0;
    optical.occlusionMin = 0.2;
    optical.occlusionMax = 1.0;
    return p;
}

}  // namespace

const std::vector<std::string>& SensorProfileNames() {
    static const std::vector<std::string> names = {"ideal", "realistic"};
    return names;
}

bool ParseSensorProfile(const std::string& name, eSensorProfile& profile) {
    if (name == "ideal") {
        profile = eSensorProfile::Ideal;
    } else if (name == "realistic") {
        profile = eSensorProfile::Realistic;
    } else {
        return false;
    }
    return true;
}

const char* SensorProfileName(eSensorProfile profile) {
    return profile == eSensorProfile::Realistic ? "realistic" : "ideal";
}

sSensorProfile MakeSensorProfile(eSensorProfile profile, uint32_t seed, const sSensorErrorOverrides& overrides) {
    sSensorProfile p = profile == eSensorProfile::Realistic ? Realistic(seed) : sSensorProfile{};
    if (overrides.hasRigidBodyError) p.rigidBodyError = overrides.rigidBodyError;
    if (overrides.hasLatencyStampError) p.optical.latencyStampError = overrides.latencyStampError;
    if (overrides.hasImuToHeadError) p.imuToHeadError = overrides.imuToHeadError;
    return p;
}

}  // namespace sim
