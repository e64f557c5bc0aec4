// The calibration of an orientation-only headset (the Oculus class's recordings):
// rotation and time offset from the headset's rates, nothing else.
#include "calibration.h"
#include "simulated_recording.h"

#include "stream_errors.h"

#include <gtest/gtest.h>

#include <cmath>

namespace halvex::calibration {
namespace {

sim::sSensorProfile ProfileWithErrors(const char* rigidBodyError, double latencyStampError) {
    return sim::MakeSensorProfile(sim::eSensorProfile::Ideal, 7, test::StreamErrors(rigidBodyError, latencyStampError));
}

TEST(OrientationOnlyCalibration, RecoversTheRigidBodysRotationAndTheStampAndEstimatesNothingElse) {
    for (const auto& [error, stamp] : {std::pair{"2,-3,1.5,25,-30,40", 0.0017}, std::pair{"-1,0.5,4,0,0,0", -0.0035}}) {
        SCOPED_TRACE(error);
        sCalibrationValues truth;
        const sCalibrationRecording recording =
            SimulateOrientationOnlyRecording("calibration", ProfileWithErrors(error, stamp), 7, 60.0, &truth);
        const sCalibrationResult r = Calibrate(recording);
        ASSERT_TRUE(r.ok) << r.refusal;
        EXPECT_TRUE(r.orientationOnly);
        for (int i = 0; i < 3; ++i) {
            EXPECT_GT(r.standardError.rotationDeg[i], 0.0) << "axis " << i;
            EXPECT_NEAR(r.value.rotationDeg[i], truth.rotationDeg[i], std::min(0.1, 4.0 * r.standardError.rotationDeg[i]))
                << "axis " << i;
        }
        EXPECT_NEAR(r.value.opticalTimeOffsetMs, truth.opticalTimeOffsetMs,
                    std::min(0.2, 4.0 * r.standardError.opticalTimeOffsetMs));
        EXPECT_NEAR(truth.opticalTimeOffsetMs, -1000.0 * stamp, 1e-12);
        // What it cannot see stays the identity.
        const sCalibrationValues identity;
        EXPECT_EQ(r.value.translationMm, identity.translationMm);
        EXPECT_EQ(r.value.gyroCorrection, identity.gyroCorrection);
        EXPECT_EQ(r.value.accelCorrection, identity.accelCorrection);
        EXPECT_EQ(r.value.gyroBias, identity.gyroBias);
        EXPECT_EQ(r.value.accelBias, identity.accelBias);
        EXPECT_LT(r.gyroResidualAfter, 0.5 * r.gyroResidualBefore);
    }
}

TEST(OrientationOnlyCalibration, MotionThatLeavesAnAxisUnexcitedIsRefusedWithWhatToDo) {
    const sim::sSensorProfile sensors = ProfileWithErrors("2,-3,1.5,0,0,0", 0.001);
    const sCalibrationResult still = Calibrate(SimulateOrientationOnlyRecording("still", sensors, 7, 40.0));
    EXPECT_FALSE(still.ok);
    EXPECT_TRUE(still.orientationOnly);
    EXPECT_NE(still.refusal.find("turn the head (or hand) about all three axes"), std::string::npos) << still.refusal;

    // Turns about yaw alone: pitch and roll never move.
    sCalibrationRecording yawOnly = SimulateOrientationOnlyRecording("calibration", sensors, 7, 40.0);
    for (sImuSample& s : yawOnly.imu) s.gyro = Eigen::Vector3d(0.0, s.gyro.norm(), 0.0);
    const sCalibrationResult turns = Calibrate(yawOnly);
    EXPECT_FALSE(turns.ok);
    EXPECT_NE(turns.refusal.find("pitch reached only 0"), std::string::npos) << turns.refusal;
}

TEST(OrientationOnlyCalibration, ADeviceWithoutInertialSamplesIsToldSo) {
    sCalibrationRecording opticalOnly = SimulateOrientationOnlyRecording(
        "calibration", sim::MakeSensorProfile(sim::eSensorProfile::Ideal, 7, {}), 7, 30.0);
    opticalOnly.imu.clear();
    opticalOnly.orientationOnly = false;  // an Oculus headset's controller writes no headset rows
    const sCalibrationResult r = Calibrate(opticalOnly);
    EXPECT_FALSE(r.ok);
    EXPECT_NE(r.refusal.find("recorded no IMU samples"), std::string::npos) << r.refusal;
}

}  // namespace
}  // namespace halvex::calibration
