// The learned-bias file of a WMR head: its text form, what counts as damaged, and
// when a filter has learned enough for its biases to be kept.
#include "devices/learned_imu_biases.h"
#include "fusion/head_filter_setups.h"

#include <gtest/gtest.h>

#include <limits>
#include <string>

namespace {

using namespace halvex;

sLearnedImuBiases Example() {
    sLearnedImuBiases biases;
    biases.gyro = {0.0008123456789012345, -0.0012, 1e-7 / 3.0};
    biases.accel = {0.01, -0.02 / 3.0, 0.015};
    biases.correctionFingerprint = 0x0123456789abcdefull;
    return biases;
}

TEST(LearnedImuBiases, TheTextFormKeepsEveryBitAndEndsWithNoSpareLine) {
    const sLearnedImuBiases biases = Example();
    const std::string text = FormatLearnedBiases(biases);
    EXPECT_EQ(text.rfind("halvex wmr imu biases 1\n", 0), 0u);
    sLearnedImuBiases parsed;
    std::string reason;
    ASSERT_TRUE(ParseLearnedBiases(text, parsed, reason)) << reason;
    EXPECT_EQ(parsed.gyro, biases.gyro);
    EXPECT_EQ(parsed.accel, biases.accel);
    EXPECT_EQ(parsed.correctionFingerprint, biases.correctionFingerprint);
    // An editor's line ends are no damage.
    std::string crlf;
    for (char c : text) crlf += c == '\n' ? std::string("\r\n") : std::string(1, c);
    EXPECT_TRUE(ParseLearnedBiases(crlf, parsed, reason)) << reason;
}

TEST(LearnedImuBiases, ADamagedFileIsRefusedWithAReasonAndLeavesTheBiasesAlone) {
    const std::string version = "halvex wmr imu biases 1\n";
    const std::string fingerprint = "imuCorrectionFingerprint=0123456789abcdef\n";
    const auto file = [&](const std::string& gyro, const std::string& accel) {
        return version + "gyroBias=" + gyro + "\naccelBias=" + accel + "\n" + fingerprint;
    };
    sLearnedImuBiases biases;
    std::string reason;
    ASSERT_TRUE(ParseLearnedBiases(file("0.001,0,-0.049", "0.01,-0.99,0"), biases, reason)) << reason;
    const std::string good = file("0.001,0,0", "0.01,0,0");
    const std::string damaged[] = {
        "",
        good.substr(0, good.size() - fingerprint.size()),  // cut short
        "halvex wmr imu biases 2\n" + good.substr(version.size()),
        file("0.001,0", "0,0,0"),
        file("0.001,0,0,0", "0,0,0"),
        file("0.001,,0", "0,0,0"),
        file("0.001,0,0", "x,0,0"),
        file("nan,0,0", "0,0,0"),
        file("0,0,0", "0,inf,0"),
        file("-0.06,0,0", "0,0,0"),  // no IMU's
        file("0,0,0", "0,0,1.5"),    // no IMU's
        version + "gyroBias=0,0,0\naccelBias=0,0,0\nimuCorrectionFingerprint=0123456789abcdeg\n",
        version + "gyroBias=0,0,0\naccelBias=0,0,0\nimuCorrectionFingerprint=123\n",
        good + "gyroBias=0,0,0\n",
        good + "something=else\n",
    };
    for (const std::string& text : damaged) {
        biases.gyro = {7, 7, 7};
        reason.clear();
        EXPECT_FALSE(ParseLearnedBiases(text, biases, reason)) << text;
        EXPECT_FALSE(reason.empty()) << text;
        EXPECT_EQ(biases.gyro, Eigen::Vector3d(7, 7, 7)) << text;
    }
}

TEST(LearnedImuBiases, TheFileNameKeepsTheSerialInsideTheFolder) {
    EXPECT_EQ(LearnedBiasFileName("WMR-VRHOST00"), "wmr_imu_biases_WMR-VRHOST00.txt");
    EXPECT_EQ(LearnedBiasFileName("../a\\b:c d.e"), "wmr_imu_biases____a_b_c_d_e.txt");
    EXPECT_EQ(LearnedBiasFileName(""), "");
}

TEST(LearnedImuBiases, TheFingerprintTellsEveryPartOfTheImuCorrection) {
    const sDeviceCalibration identity;
    const uint64_t base = ImuCorrectionFingerprint(identity);
    EXPECT_EQ(ImuCorrectionFingerprint(sDeviceCalibration{}), base);
    sDeviceCalibration changed[4];
    changed[0].gyroCorrection(0, 1) = 1e-6;
    changed[1].accelCorrection(2, 2) = 1.001;
    changed[2].gyroBias.z() = 1e-5;
    changed[3].accelBias.x() = 0.01;
    for (const sDeviceCalibration& c : changed) EXPECT_NE(ImuCorrectionFingerprint(c), base);
    // The rigid body and the time offset are no IMU correction.
    sDeviceCalibration optical;
    optical.opticalTimeOffset = 0.002;
    optical.rigidBodyInDevice.translation().x() = 0.01;
    EXPECT_EQ(ImuCorrectionFingerprint(optical), base);
}

// A WMR filter whose bias variances are `fraction` of their start.
cFusionFilter FilterAt(double fraction) {
    cFusionFilter filter(kWmrHeadFilterParams);
    for (int i = 9; i < 15; ++i) filter.mCovariance(i, i) *= fraction;
    filter.mState.segment<3>(FusionState_GyroBias) = Eigen::Vector3d(0.001, -0.002, 0.0005);
    filter.mState.segment<3>(FusionState_AccelBias) = Eigen::Vector3d(0.02, 0.01, -0.03);
    return filter;
}

TEST(LearnedImuBiases, OnlyALongFusionWithSettledVariancesHasLearned) {
    const sBiasLearningCriteria criteria;  // 60 s, half the starting variance
    EXPECT_FALSE(FilterHasLearnedBiases(cFusionFilter(kWmrHeadFilterParams), 600.0, criteria)) << "a new filter";
    EXPECT_TRUE(FilterHasLearnedBiases(FilterAt(0.4), 60.0, criteria));
    EXPECT_FALSE(FilterHasLearnedBiases(FilterAt(0.4), 59.0, criteria)) << "too short";
    EXPECT_FALSE(FilterHasLearnedBiases(FilterAt(0.6), 600.0, criteria)) << "variances not yet at half";
    for (int i = 9; i < 15; ++i) {
        cFusionFilter oneAxis = FilterAt(0.4);
        oneAxis.mCovariance(i, i) = 0.9 * cFusionFilter(kWmrHeadFilterParams).mCovariance(i, i);
        EXPECT_FALSE(FilterHasLearnedBiases(oneAxis, 600.0, criteria)) << "covariance index " << i;
        oneAxis.mCovariance(i, i) = std::numeric_limits<double>::quiet_NaN();
        EXPECT_FALSE(FilterHasLearnedBiases(oneAxis, 600.0, criteria)) << "covariance index " << i;
    }
    cFusionFilter implausible = FilterAt(0.4);
    implausible.mState[FusionState_AccelBias + 1] = 1.2;
    EXPECT_FALSE(FilterHasLearnedBiases(implausible, 600.0, criteria));
    implausible = FilterAt(0.4);
    implausible.mState[FusionState_GyroBias + 2] = std::numeric_limits<double>::infinity();
    EXPECT_FALSE(FilterHasLearnedBiases(implausible, 600.0, criteria));
}

}  // namespace
