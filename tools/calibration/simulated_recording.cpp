#include "simulated_recording.h"

#include "rotation_log.h"

#include "sim/imu_model.h"
#include "sim/motion_scenario.h"
#include "sim/optical_model.h"
#include "sim/tracking_geometry.h"

namespace halvex::calibration {

sCalibrationRecording SimulateRecording(const std::string& scenario, sim::eSensorProfile profile, uint32_t seed,
                                        const sim::sSensorErrorOverrides& errors, double seconds,
                                        sCalibrationValues* truth) {
    return SimulateRecording(scenario, sim::MakeSensorProfile(profile, seed, errors), seed, seconds, truth);
}

sCalibrationRecording SimulateRecording(const std::string& scenario, const sim::sSensorProfile& sensors, uint32_t seed,
                                        double seconds, sCalibrationValues* truth) {
    const auto motion = sim::cMotionScenario::Create(scenario, seed);
    const sim::cImuModel imu(*motion, sensors.imu, seed);
    const sim::cOpticalModel optical(*motion, sensors.optical, seed);
    // Far from zero, as driver time is.
    const double start = 1000.0;
    sCalibrationRecording recording;
    recording.imuInDevice = sim::HeadsetImuToHead();

    const int64_t first = imu.FirstIndexAtOrAfter(start);
    const int64_t last = imu.FirstIndexAtOrAfter(start + seconds);
    for (int64_t i = first; i < last; ++i) {
        const sim::sImuSample s = imu.Sample(i);
        recording.imu.push_back({s.time, s.accelerometer, s.gyroscope});
    }
    for (int64_t k = optical.FirstIndexAtOrAfter(start); ; ++k) {
        const sim::sOpticalFrame frame = optical.Frame(k);
        if (frame.captureTime >= start + seconds) break;
        if (frame.dropped) continue;
        sim::sMotionState seen;
        seen.position = frame.position;
        seen.orientation = frame.orientation;
        const Eigen::Isometry3d body = sim::StreamedRigidBodyPose(seen, sensors.imuToHeadError, sensors.rigidBodyError);
        recording.optical.push_back({frame.captureTime, body.translation(), Eigen::Quaterniond(body.rotation())});
    }

    if (truth) {
        const Eigen::Isometry3d published = sim::HeadsetImuToHead();
        const Eigen::Isometry3d believed =
            published * sensors.imuToHeadError.inverse() * published.inverse() * sensors.rigidBodyError;
        truth->rotationDeg = LogOfRotation(believed.rotation()) * 57.29577951308232;
        truth->translationMm = believed.translation() * 1000.0;
        truth->opticalTimeOffsetMs = -sensors.optical.latencyStampError * 1000.0;
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

}  // namespace halvex::calibration
