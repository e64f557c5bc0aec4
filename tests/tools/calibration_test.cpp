#include "calibration.h"
#include "simulated_recording.h"
#include "window_kernel.h"

#include "sim/sensor_error_options.h"

#include <gtest/gtest.h>

#include <cmath>
#include <vector>

namespace halvex::calibration {
namespace {

// Each estimate within four of its standard errors of the truth (a stated error
// that is too small fails), and within what a calibration must reach.
void ExpectRecovered(const sCalibrationResult& r, const sCalibrationValues& truth) {
    const sCalibrationValues& v = r.value;
    const sCalibrationValues& se = r.standardError;
    for (int i = 0; i < 3; ++i) {
        EXPECT_NEAR(v.rotationDeg[i], truth.rotationDeg[i], std::min(0.1, 4.0 * se.rotationDeg[i])) << "axis " << i;
        EXPECT_NEAR(v.translationMm[i], truth.translationMm[i], std::min(1.0, 4.0 * se.translationMm[i])) << "axis " << i;
        EXPECT_NEAR(v.gyroBias[i], truth.gyroBias[i], 4.0 * se.gyroBias[i]) << "axis " << i;
        EXPECT_NEAR(v.accelBias[i], truth.accelBias[i], 4.0 * se.accelBias[i]) << "axis " << i;
        for (int j = 0; j < 3; ++j) {
            EXPECT_NEAR(v.gyroCorrection(i, j), truth.gyroCorrection(i, j), std::min(1e-3, 4.0 * se.gyroCorrection(i, j)))
                << i << "," << j;
            // Below the diagonal the accelerometer's correction is zero by convention.
            EXPECT_NEAR(v.accelCorrection(i, j), truth.accelCorrection(i, j),
                        j < i ? 1e-15 : std::min(1e-3, 4.0 * se.accelCorrection(i, j)))
                << i << "," << j;
        }
    }
    EXPECT_NEAR(v.opticalTimeOffsetMs, truth.opticalTimeOffsetMs, std::min(0.2, 4.0 * se.opticalTimeOffsetMs));
    EXPECT_LT(r.gyroResidualAfter, r.gyroResidualBefore);
    EXPECT_LT(r.accelResidualAfter, r.accelResidualBefore);
}

TEST(Calibration, RecoversAStatedRigidBodyStampAndTheRealisticImusErrors) {
    sim::sSensorErrorOverrides errors;
    std::string reason;
    ASSERT_TRUE(sim::ParseRigidBodyError("2,-3,1.5,25,-30,40", errors.rigidBodyError, reason));
    errors.hasRigidBodyError = true;
    errors.hasLatencyStampError = true;
    errors.latencyStampError = 0.0017;
    sCalibrationValues truth;
    const sCalibrationRecording recording =
        SimulateRecording("calibration", sim::eSensorProfile::Realistic, 7, errors, 60.0, &truth);
    const sCalibrationResult result = Calibrate(recording);
    ASSERT_TRUE(result.ok) << result.refusal;
    ExpectRecovered(result, truth);
    // The noise the filter should be told: realistic optical noise 0.3 mm and
    // 0.15 deg, widened by the latency jitter, which moves a moving pose.
    EXPECT_GT(result.noise.opticalPositionVariance, 0.8 * 0.0003 * 0.0003);
    EXPECT_LT(result.noise.opticalPositionVariance, 4.0 * 0.0003 * 0.0003);
    const double orientationNoise = 0.15 * EIGEN_PI / 180.0;
    EXPECT_GT(result.noise.opticalOrientationVariance, 0.8 * orientationNoise * orientationNoise);
    EXPECT_LT(result.noise.opticalOrientationVariance, 4.0 * orientationNoise * orientationNoise);
}

TEST(Calibration, RecoversTheErrorsTheRealisticProfileDrawsForOtherBodies) {
    for (uint32_t seed : {2u, 31u}) {
        SCOPED_TRACE(seed);
        sCalibrationValues truth;
        const sCalibrationRecording recording =
            SimulateRecording("calibration", sim::eSensorProfile::Realistic, seed, {}, 60.0, &truth);
        const sCalibrationResult result = Calibrate(recording);
        ASSERT_TRUE(result.ok) << result.refusal;
        ExpectRecovered(result, truth);
    }
}

TEST(Calibration, ErrorFreeSensorsGiveTheIdentity) {
    sCalibrationValues truth;
    const sCalibrationRecording recording =
        SimulateRecording("calibration", sim::eSensorProfile::Ideal, 5, {}, 60.0, &truth);
    EXPECT_LT(truth.rotationDeg.norm() + truth.translationMm.norm() + std::fabs(truth.opticalTimeOffsetMs), 1e-9);
    const sCalibrationResult result = Calibrate(recording);
    ASSERT_TRUE(result.ok) << result.refusal;
    ExpectRecovered(result, truth);
}

TEST(Calibration, MotionThatLeavesAnAxisUnexcitedIsRefusedWithWhatToDo) {
    // Looking around: quick turns and nods, but the head never tilts to a shoulder,
    // so gravity never shows the accelerometer's sideways axis.
    const sCalibrationResult turns =
        Calibrate(SimulateRecording("head-turns", sim::eSensorProfile::Realistic, 7, {}, 40.0));
    EXPECT_FALSE(turns.ok);
    EXPECT_NE(turns.refusal.find("tilt the head to each shoulder"), std::string::npos) << turns.refusal;

    const sCalibrationResult still = Calibrate(SimulateRecording("still", sim::eSensorProfile::Ideal, 7, {}, 40.0));
    EXPECT_FALSE(still.ok);
    EXPECT_NE(still.refusal.find("turn the head (or hand) about all three axes: pitch reached only"), std::string::npos)
        << still.refusal;

    const sCalibrationResult shortOne =
        Calibrate(SimulateRecording("calibration", sim::eSensorProfile::Ideal, 7, {}, 8.0));
    EXPECT_FALSE(shortOne.ok);
    EXPECT_NE(shortOne.refusal.find("at least 20 s"), std::string::npos) << shortOne.refusal;
}

// The weighted sum of the samples equals the kernel's integral against the
// derivative: uneven spacing and a missing sample included.
TEST(WindowKernel, WeightsAndKernelAgreeOnAnySmoothSignal) {
    std::vector<double> offsets;
    for (int k = -12; k <= 12; ++k)
        if (k != 5) offsets.push_back(k / 120.0 + 0.0007 * std::sin(3.0 * k));
    const auto x = [](double s) { return std::sin(7.0 * s + 0.3) + 0.5 * s * s * s; };
    const auto dx = [](double s) { return 7.0 * std::cos(7.0 * s + 0.3) + 1.5 * s * s; };
    const auto ddx = [](double s) { return -49.0 * std::sin(7.0 * s + 0.3) + 3.0 * s; };
    for (eDerivative d : {eDerivative::First, eDerivative::Second}) {
        const cWindowKernel kernel(offsets, d);
        double sum = 0.0;
        for (size_t k = 0; k < offsets.size(); ++k) sum += kernel.Weights()[k] * x(offsets[k]);
        // Piece by piece between samples, where the kernel is smooth.
        double integral = 0.0;
        for (size_t k = 1; k < offsets.size(); ++k) {
            const int steps = 200;
            const double h = (offsets[k] - offsets[k - 1]) / steps;
            for (int i = 0; i < steps; ++i) {
                const double u = offsets[k - 1] + (i + 0.5) * h;
                integral += kernel.Kernel(u) * (d == eDerivative::First ? dx(u) : ddx(u)) * h;
            }
        }
        EXPECT_NEAR(sum, integral, 1e-6 * (1.0 + std::fabs(sum)));
    }
}

}  // namespace
}  // namespace halvex::calibration
