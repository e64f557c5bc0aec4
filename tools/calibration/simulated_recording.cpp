#include "simulated_recording.h"

#include "rotation_log.h"

#include "headset_motion.h"

#include "sim/imu_model.h"
#include "sim/motion_scenario.h"
#include "sim/optical_model.h"
#include "sim/tracking_geometry.h"

#include <cmath>

namespace halvex::calibration {

sCalibrationRecording SimulateRecording(const std::string& scenario, sim::eSensorProfile profile, uint32_t seed,
                                        const sim::sSensorErrorOverrides& errors, double seconds,
                                        sCalibrationValues* truth) {
    return SimulateRecording(scenario, sim::MakeSensorProfile(profile, seed, errors), seed, seconds, truth);
}

namespace {

// Far from zero, as driver time is.
constexpr double kStart = 1000.0;

void AddOpticalFrames(const sim::cOpticalModel& optical, const sim::sSensorProfile& sensors, double seconds,
                      sCalibrationRecording& recording) {
    for (int64_t k = optical.FirstIndexAtOrAfter(kStart);; ++k) {
        const sim::sOpticalFrame frame = optical.Frame(k);
        if (frame.captureTime >= kStart + seconds) break;
        if (frame.dropped) continue;
        sim::sMotionState seen;
        seen.position = frame.position;
        seen.orientation = frame.orientation;
        const Eigen::Isometry3d body = sim::StreamedRigidBodyPose(seen, sensors.imuToHeadError, sensors.rigidBodyError);
        recording.optical.push_back({frame.captureTime, body.translation(), Eigen::Quaterniond(body.rotation())});
    }
}

// The rigid body in the device frame the driver believes (the headset's own
// IMU-to-head error is part of it: nothing in a recording can tell the two apart),
// and the stamp's error undone.
void SetRigidBodyAndOffsetTruth(const sim::sSensorProfile& sensors, sCalibrationValues& truth) {
    const Eigen::Isometry3d published = sim::HeadsetImuToHead();
    const Eigen::Isometry3d believed =
        published * sensors.imuToHeadError.inverse() * published.inverse() * sensors.rigidBodyError;
    truth.rotationDeg = LogOfRotation(believed.rotation()) * kRadToDeg;
    truth.translationMm = believed.translation() * 1000.0;
    truth.opticalTimeOffsetMs = -sensors.optical.latencyStampError * 1000.0;
}

}  // namespace

sCalibrationRecording SimulateRecording(const std::string& scenario, const sim::sSensorProfile& sensors, uint32_t seed,
                                        double seconds, sCalibrationValues* truth) {
    const auto motion = sim::cMotionScenario::Create(scenario, seed);
    const sim::cImuModel imu(*motion, sensors.imu, seed);
    const sim::cOpticalModel optical(*motion, sensors.optical, seed);
    sCalibrationRecording recording;
    recording.imuInDevice = sim::HeadsetImuToHead();

    const int64_t first = imu.FirstIndexAtOrAfter(kStart);
    const int64_t last = imu.FirstIndexAtOrAfter(kStart + seconds);
    for (int64_t i = first; i < last; ++i) {
        const sim::sImuSample s = imu.Sample(i);
        recording.imu.push_back({s.time, s.accelerometer, s.gyroscope});
    }
    AddOpticalFrames(optical, sensors, seconds, recording);

    if (truth) {
        SetRigidBodyAndOffsetTruth(sensors, *truth);
        truth->gyroCorrection = sensors.imu.gyroSensorError.inverse();
        truth->accelCorrection = sensors.imu.accelSensorError.inverse();
        // A walking bias: its mean over the recording, which a bias drifting
        // linearly in the fit meets at the middle.
        truth->accelBias.setZero();
        truth->gyroBias.setZero();
        int count = 0;
        for (int64_t i = first; i < last; i += 100, ++count) {
            Eigen::Vector3d accelBias, gyroBias;
            imu.Biases(i, accelBias, gyroBias);
            truth->accelBias += accelBias;
            truth->gyroBias += gyroBias;
        }
        truth->accelBias /= count;
        truth->gyroBias /= count;
    }
    return recording;
}

sCalibrationRecording SimulateOrientationOnlyRecording(const std::string& scenario, const sim::sSensorProfile& sensors,
                                                       uint32_t seed, double seconds, sCalibrationValues* truth) {
    const auto motion = sim::cMotionScenario::Create(scenario, seed);
    const sim::cOpticalModel optical(*motion, sensors.optical, seed);
    sCalibrationRecording recording;
    recording.orientationOnly = true;  // the headset's frame is the device frame: imuInDevice stays the identity
    // The child's millisecond grid; its floats as the driver widens them.
    const int64_t first = static_cast<int64_t>(std::ceil(kStart * 1000.0));
    const int64_t last = static_cast<int64_t>(std::ceil((kStart + seconds) * 1000.0));
    for (int64_t i = first; i < last; ++i) {
        const double t = static_cast<double>(i) / 1000.0;
        const oculus_sim::sHeadsetSample s = oculus_sim::HeadsetSampleAt(*motion, t, 0);
        const Eigen::Vector3d rate(s.angularVelocity[0], s.angularVelocity[1], s.angularVelocity[2]);
        recording.imu.push_back({t, Eigen::Vector3d::Zero(), rate});
    }
    AddOpticalFrames(optical, sensors, seconds, recording);
    if (truth) {
        *truth = sCalibrationValues{};
        SetRigidBodyAndOffsetTruth(sensors, *truth);
        truth->translationMm.setZero();  // not estimated: the device applies none
    }
    return recording;
}

}  // namespace halvex::calibration
