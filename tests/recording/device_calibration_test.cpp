#include "recording/device_calibration.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <string>

namespace halvex {
namespace {

using namespace calibration_keys;

TEST(DeviceCalibration, DefaultIsTheIdentityAndLeavesSamplesAlone) {
    const sDeviceCalibration c;
    EXPECT_TRUE(c.IsIdentity());
    double accel[3] = {0.1, 9.8, -0.3}, gyro[3] = {1.0, -2.0, 3.0};
    c.CorrectImu(accel, gyro);
    EXPECT_EQ(accel[1], 9.8);
    EXPECT_EQ(gyro[2], 3.0);
    Eigen::Isometry3d pose = Eigen::Isometry3d::Identity();
    pose.translation() = Eigen::Vector3d(1, 2, 3);
    EXPECT_TRUE(c.DeviceFromOptical(pose).isApprox(pose, 0.0));
    // Empty settings text keeps the default.
    sDeviceCalibration parsed;
    std::string reason;
    for (const char* field : {kRigidBodyInDevice, kGyroCorrection, kAccelBias, kOpticalTimeOffsetMs})
        EXPECT_TRUE(ParseCalibrationField(field, "", parsed, reason));
    EXPECT_TRUE(parsed.IsIdentity());
}

TEST(DeviceCalibration, FieldsRoundTripAndCorrectionsApplyInOrder) {
    sDeviceCalibration c;
    std::string reason;
    ASSERT_TRUE(ParseCalibrationField(kRigidBodyInDevice, "0,0,90,10,-20,30", c, reason)) << reason;
    ASSERT_TRUE(ParseCalibrationField(kOpticalTimeOffsetMs, "-2.25", c, reason));
    ASSERT_TRUE(ParseCalibrationField(kGyroCorrection, "1.01,0,0, 0,1,0, 0,0.02,1", c, reason)) << reason;
    ASSERT_TRUE(ParseCalibrationField(kGyroBias, "0.1,0,0", c, reason));
    EXPECT_DOUBLE_EQ(c.opticalTimeOffset, -0.00225);
    double accel[3] = {0, 0, 0}, gyro[3] = {1.1, 0, 1.0};
    c.CorrectImu(accel, gyro);
    EXPECT_NEAR(gyro[0], 1.01, 1e-12);  // bias taken off before the matrix
    EXPECT_NEAR(gyro[2], 1.0, 1e-12);
    // The optical pose is moved by the rigid body's inverse: its own pose maps to the identity.
    EXPECT_TRUE(c.DeviceFromOptical(c.rigidBodyInDevice).isApprox(Eigen::Isometry3d::Identity(), 1e-12));

    sDeviceCalibration back;
    size_t count = 0;
    const char* const* fields = CalibrationFields(count);
    for (size_t i = 0; i < count; ++i)
        ASSERT_TRUE(ParseCalibrationField(fields[i], FormatCalibrationField(fields[i], c), back, reason)) << fields[i];
    EXPECT_TRUE(back.rigidBodyInDevice.isApprox(c.rigidBodyInDevice, 1e-12));
    EXPECT_EQ(back.gyroCorrection, c.gyroCorrection);
    EXPECT_EQ(back.opticalTimeOffset, c.opticalTimeOffset);
}

TEST(DeviceCalibration, MalformedOrNonFiniteValuesAreRefusedAndLeaveTheField) {
    sDeviceCalibration c;
    std::string reason;
    const std::pair<const char*, const char*> bad[] = {
        {kRigidBodyInDevice, "1,2,3"},         {kRigidBodyInDevice, "1,2,3,4,5,nan"},
        {kRigidBodyInDevice, "190,0,0,0,0,0"}, {kGyroCorrection, "1,0,0,0,1,0,0,0"},
        {kGyroCorrection, "2,0,0,0,1,0,0,0,1"}, {kAccelBias, "0,0,inf"},
        {kOpticalTimeOffsetMs, "abc"},          {kOpticalPositionVariance, "-1"},
        {"NoSuchField", "1"}};
    for (const auto& [field, text] : bad) {
        reason.clear();
        EXPECT_FALSE(ParseCalibrationField(field, text, c, reason)) << field << " " << text;
        EXPECT_FALSE(reason.empty());
    }
    EXPECT_TRUE(c.IsIdentity());
}

TEST(DeviceCalibration, FileRoundTripsAndABadLineIsNamed) {
    sDeviceCalibration c;
    std::string reason;
    ASSERT_TRUE(ParseCalibrationField(kAccelCorrection, "1,0.001,0,0,0.99,0,0,0,1.002", c, reason));
    ASSERT_TRUE(ParseCalibrationField(kRigidBodyInDevice, "1,-2,3,4,5,6", c, reason));
    const std::string text = CalibrationFileText(c);
    sDeviceCalibration back;
    long line = 0;
    ASSERT_TRUE(ParseCalibrationFile(text, back, line, reason)) << line << ": " << reason;
    EXPECT_EQ(back.accelCorrection, c.accelCorrection);
    EXPECT_TRUE(back.rigidBodyInDevice.isApprox(c.rigidBodyInDevice, 1e-12));

    EXPECT_FALSE(ParseCalibrationFile("# c\nGyroBias=0,0,0\nGyroBias 1\n", back, line, reason));
    EXPECT_EQ(line, 3);
}

}  // namespace
}  // namespace halvex
