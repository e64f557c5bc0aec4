#include "oculus_test_support.h"

#include "core/device_provider.h"
#include "devices/oculus_device.h"
#include "platform/clock.h"
#include "platform/known_folders.h"
#include "recording/csv_format.h"
#include "scoped_state_home.h"
#include "temp_folder.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <limits>
#include <memory>
#include <string>
#include <vector>

namespace {

using namespace halvex::oculus;
using halvex::test::WaitUntil;

const Eigen::Quaternionf kOculusAlignment(0.0f, 0.0f, 1.0f, 0.0f);

sOculusImuSample HeadsetSample(const Eigen::Quaternionf& q) {
    sOculusImuSample sample{};
    sample.orientation[0] = q.x();
    sample.orientation[1] = q.y();
    sample.orientation[2] = q.z();
    sample.orientation[3] = q.w();
    sample.angularVelocity[1] = 0.5f;
    return sample;
}

float AngleTo(const vr::HmdQuaternion_t& pose, const Eigen::Quaternionf& q) {
    const Eigen::Quaternionf p(static_cast<float>(pose.w), static_cast<float>(pose.x), static_cast<float>(pose.y),
                               static_cast<float>(pose.z));
    return 2.0f * std::acos(std::min(1.0f, std::fabs(p.normalized().coeffs().dot(q.normalized().coeffs()))));
}

class OculusDevice : public ::testing::Test {
protected:
    OculusDevice()
        : mMappingName(halvex::test::UniqueMappingName(
              ::testing::UnitTest::GetInstance()->current_test_info()->name())),
          mEnvironment(mMappingName) {
        sOculusLinkConfig config;
        config.childExecutable = DefaultChildExecutable();
        config.mappingName = mMappingName;
        mLink = std::make_unique<cOculusLink>(config);
        mProvider.mQpcFrequency = halvex::platform::TickFrequency();
        mProvider.mQpcFrequencyDouble = static_cast<double>(mProvider.mQpcFrequency);
    }

    std::string mMappingName;
    halvex::test::cChildEnvironment mEnvironment;
    halvex::test::cScopedDriverLog mLog;
    std::unique_ptr<cOculusLink> mLink;
    cHalvexDeviceProvider mProvider;
};

TEST_F(OculusDevice, OpticalSamplesBeforeActivationUpdatePositionAndCorrector) {
    std::unique_ptr<cHalvexOculusDevice> device(new cHalvexOculusDevice(&mProvider, Hmd, "halvex-head", mLink.get()));
    EXPECT_EQ(device->GetName(), "halvex-head-o");
    EXPECT_FALSE(device->GetPose().poseIsValid);

    const double position[3] = {0.1, 1.6, -0.3};
    const Eigen::Quaternionf optical(Eigen::AngleAxisf(0.6f, Eigen::Vector3f::UnitY()));
    const double orientation[4] = {optical.x(), optical.y(), optical.z(), optical.w()};
    device->UpdateOptical(position, orientation, 10.0, 0.012);
    vr::DriverPose_t pose = device->GetPose();
    EXPECT_TRUE(pose.poseIsValid);
    EXPECT_EQ(pose.result, vr::TrackingResult_Running_OK);
    EXPECT_EQ(pose.vecPosition[1], 1.6);
    EXPECT_EQ(device->Corrector().Count(), 0);

    // Headset samples update the pose's orientation even while nothing can be submitted.
    const Eigen::Quaternionf headset(Eigen::AngleAxisf(0.2f, Eigen::Vector3f::UnitX()));
    device->ProcessChildSample(HeadsetSample(headset), 10.001);
    EXPECT_EQ(device->Corrector().Count(), 1);
    pose = device->GetPose();
    EXPECT_LT(AngleTo(pose.qRotation, headset * kOculusAlignment), 1e-4f);  // no correction yet
    EXPECT_FLOAT_EQ(static_cast<float>(pose.vecAngularVelocity[1]), 0.5f);

    device->UpdateOptical(position, orientation, 10.002, 0.012);
    device->ProcessChildSample(HeadsetSample(headset), 10.003);
    EXPECT_LT(AngleTo(device->GetPose().qRotation, optical), 1e-4f);
    EXPECT_EQ(mLog.CountContaining("ERROR: vr::VRServerDriverHost() null"), 0);  // inactive: never submitted
}

TEST_F(OculusDevice, APoseSaysHowOldItsHeadsetSampleIs) {
    std::unique_ptr<cHalvexOculusDevice> device(new cHalvexOculusDevice(&mProvider, Hmd, "halvex-head", mLink.get()));
    const Eigen::Quaternionf headset(Eigen::AngleAxisf(0.2f, Eigen::Vector3f::UnitX()));
    // A sample that waited 20 ms in the ring, as from a child short of CPU.
    device->ProcessChildSample(HeadsetSample(headset), mProvider.DriverTimeNow() - 0.020);
    EXPECT_NEAR(device->GetPose().poseTimeOffset, -0.020, 0.005);
    device->ProcessChildSample(HeadsetSample(headset), mProvider.DriverTimeNow());
    EXPECT_LE(device->GetPose().poseTimeOffset, 0.0);
    EXPECT_GT(device->GetPose().poseTimeOffset, -0.005);
}

TEST_F(OculusDevice, FollowsTheChildWhileActiveAndStopsOnDeactivate) {
    mEnvironment.Set("HALVEX_OCULUS_SIM_SCENARIO", "head-turns");
    std::unique_ptr<cHalvexOculusDevice> device(new cHalvexOculusDevice(&mProvider, Hmd, "halvex-head", mLink.get()));
    EXPECT_EQ(device->Activate(1), vr::VRInitError_None);
    EXPECT_EQ(mLog.CountContaining("Activating Halvex Oculus Device\n"), 1);
    ASSERT_TRUE(WaitUntil([&] { return mLink->SampleCount() >= 200; }, 20.0));
    // No host is installed: every submission reports the missing interface.
    EXPECT_GE(mLog.CountContaining("ERROR: vr::VRServerDriverHost() null"), 100);
    const vr::HmdQuaternion_t before = device->GetPose().qRotation;
    ASSERT_TRUE(WaitUntil([&] { return AngleTo(device->GetPose().qRotation, Eigen::Quaternionf(
                                                  static_cast<float>(before.w), static_cast<float>(before.x),
                                                  static_cast<float>(before.y), static_cast<float>(before.z))) > 1e-3f; },
                          10.0));
    device->Deactivate();
    EXPECT_FALSE(mLink->ReaderRunning());
    const uint64_t count = mLink->SampleCount();
    device->Deactivate();  // twice is harmless
    EXPECT_EQ(mLink->SampleCount(), count);
}

TEST_F(OculusDevice, HalvexOnlySubmitsNothing) {
    mProvider.mTrackingType = TrackingType_HalvexOnly;
    std::unique_ptr<cHalvexOculusDevice> device(new cHalvexOculusDevice(&mProvider, Hmd, "halvex-head", mLink.get()));
    device->Activate(1);
    ASSERT_TRUE(WaitUntil([&] { return mLink->SampleCount() >= 200; }, 20.0));
    // Destroying an active device detaches it from the link first.
    device.reset();
    EXPECT_FALSE(mLink->ReaderRunning());
    EXPECT_EQ(mLog.CountContaining("ERROR: vr::VRServerDriverHost() null"), 0);
    EXPECT_EQ(mLog.CountContaining("halvex-head-o mRigidBodyID=0 Shutdown"), 1);
}

TEST_F(OculusDevice, AnUnusableOpticalSampleIsDroppedAndTheCorrectionCarriesOn) {
    std::unique_ptr<cHalvexOculusDevice> device(new cHalvexOculusDevice(&mProvider, Hmd, "halvex-head", mLink.get()));
    const Eigen::Quaternionf headset(Eigen::AngleAxisf(0.2f, Eigen::Vector3f::UnitX()));
    const double position[3] = {0.1, 1.6, -0.3};
    const Eigen::Quaternionf optical(Eigen::AngleAxisf(0.6f, Eigen::Vector3f::UnitY()));
    const double orientation[4] = {optical.x(), optical.y(), optical.z(), optical.w()};
    device->ProcessChildSample(HeadsetSample(headset), 10.001);
    device->UpdateOptical(position, orientation, 10.002, 0.012);

    const double nan = std::nan("");
    const double nanOrientation[4] = {0.0, nan, 0.0, 1.0};
    const double zeroOrientation[4] = {0.0, 0.0, 0.0, 0.0};
    const double nanPosition[3] = {nan, 1.0, 0.0};
    device->UpdateOptical(position, nanOrientation, 10.004, 0.012);
    device->UpdateOptical(position, zeroOrientation, 10.005, 0.012);
    device->UpdateOptical(nanPosition, orientation, 10.006, 0.012);
    device->UpdateOptical(position, orientation, std::numeric_limits<double>::infinity(), 0.012);
    device->UpdateOptical(position, orientation, 10.007, nan);
    EXPECT_EQ(device->DroppedOpticalSamples(), 5u);
    EXPECT_EQ(mLog.CountContaining("halvex-head-o dropped an optical sample with an invalid pose (1 so far)"), 1);

    device->ProcessChildSample(HeadsetSample(headset), 10.008);
    vr::DriverPose_t pose = device->GetPose();
    EXPECT_TRUE(pose.poseIsValid);
    EXPECT_EQ(pose.vecPosition[0], 0.1);
    EXPECT_LT(AngleTo(pose.qRotation, optical), 1e-4f);

    // Later optical samples still steer the head: the correction was not poisoned.
    const Eigen::Quaternionf turned(Eigen::AngleAxisf(-0.4f, Eigen::Vector3f::UnitY()));
    const double turnedOrientation[4] = {turned.x(), turned.y(), turned.z(), turned.w()};
    device->UpdateOptical(position, turnedOrientation, 10.009, 0.012);
    device->ProcessChildSample(HeadsetSample(headset), 10.010);
    pose = device->GetPose();
    EXPECT_TRUE(pose.poseIsValid);
    EXPECT_LT(AngleTo(pose.qRotation, turned), 1e-4f);
}

TEST_F(OculusDevice, APoseWithANonFiniteNumberIsNeverSubmitted) {
    sOculusLinkConfig config;
    config.childExecutable = DefaultChildExecutable() + "-missing";
    config.mappingName = mMappingName;
    mLink = std::make_unique<cOculusLink>(config);
    std::unique_ptr<cHalvexOculusDevice> device(new cHalvexOculusDevice(&mProvider, Hmd, "halvex-head", mLink.get()));
    ASSERT_EQ(device->Activate(1), vr::VRInitError_None);
    ASSERT_TRUE(WaitUntil([&] { return !mLink->ReaderRunning(); }, 10.0));
    // Active without a host: every submission attempt says the interface is missing.
    const double rate[3] = {0.0, 0.5, 0.0};
    const double nanOrientation[4] = {0.0, std::nan(""), 0.0, 1.0};
    device->UpdateInertial(nanOrientation, rate);
    const double infiniteRate[3] = {0.0, std::numeric_limits<double>::infinity(), 0.0};
    const double identity[4] = {0.0, 0.0, 0.0, 1.0};
    device->UpdateInertial(identity, infiniteRate);
    EXPECT_EQ(mLog.CountContaining("ERROR: vr::VRServerDriverHost() null"), 0);
    EXPECT_EQ(device->DroppedPoses(), 2u);
    device->UpdateInertial(identity, rate);
    EXPECT_EQ(mLog.CountContaining("ERROR: vr::VRServerDriverHost() null"), 1);
    device->Deactivate();
}

// A rigid body 2.5 degrees off about a tilted axis and 20 mm to one side, its stamp 8 ms late.
halvex::sDeviceCalibration TestCalibration() {
    halvex::sDeviceCalibration calibration;
    calibration.rigidBodyInDevice.linear() =
        Eigen::AngleAxisd(2.5 * EIGEN_PI / 180.0, Eigen::Vector3d(0.3, 1.0, -0.2).normalized()).toRotationMatrix();
    calibration.rigidBodyInDevice.translation() = Eigen::Vector3d(0.02, -0.01, 0.005);
    calibration.opticalTimeOffset = -0.008;
    return calibration;
}

TEST_F(OculusDevice, TheSlotsCalibrationMovesTheOpticalPoseOntoTheDeviceAndShiftsItsTime) {
    const halvex::sDeviceCalibration calibration = TestCalibration();
    mProvider.mCalibrations[Hmd] = calibration;
    std::unique_ptr<cHalvexOculusDevice> device(new cHalvexOculusDevice(&mProvider, Hmd, "halvex-head", mLink.get()));
    EXPECT_TRUE(device->Calibration() == calibration);

    // Two headset samples 10 ms apart, then an optical sample stamped with the second's time:
    // 8 ms earlier in truth, so it pairs with the headset most of the way back to the first.
    const Eigen::Quaternionf h0(Eigen::AngleAxisf(0.0f, Eigen::Vector3f::UnitY()));
    const Eigen::Quaternionf h1(Eigen::AngleAxisf(0.1f, Eigen::Vector3f::UnitY()));
    device->ProcessChildSample(HeadsetSample(h0), 10.000);
    device->ProcessChildSample(HeadsetSample(h1), 10.010);
    const double position[3] = {0.1, 1.6, -0.3};
    const Eigen::Quaterniond streamed(Eigen::AngleAxisd(0.6, Eigen::Vector3d(0.2, 1.0, 0.1).normalized()));
    const double orientation[4] = {streamed.x(), streamed.y(), streamed.z(), streamed.w()};
    device->UpdateOptical(position, orientation, 10.010, 0.012);
    device->ProcessChildSample(HeadsetSample(h1), 10.011);

    // The device frame: the aligned pose times the rigid body's inverse, back in the streamed convention.
    const Eigen::Quaterniond alignment(0.0, 0.0, 1.0, 0.0);
    Eigen::Isometry3d aligned = Eigen::Isometry3d::Identity();
    aligned.linear() = (streamed * alignment).toRotationMatrix();
    aligned.translation() = Eigen::Vector3d(position[0], position[1], position[2]);
    const Eigen::Isometry3d onDevice = aligned * calibration.rigidBodyInDevice.inverse();
    const Eigen::Quaternionf expectedOptical((Eigen::Quaterniond(onDevice.rotation()) * alignment.conjugate()).cast<float>());
    const vr::DriverPose_t pose = device->GetPose();
    for (int i = 0; i < 3; ++i) EXPECT_NEAR(pose.vecPosition[i], onDevice.translation()[i], 1e-12) << i;
    // Paired with the headset at 10.002 (a fifth of the way), the newest headset sample carries it on by the rest.
    const Eigen::Quaternionf paired(Eigen::AngleAxisf(0.02f, Eigen::Vector3f::UnitY()));
    const Eigen::Quaternionf expected = expectedOptical * (paired * kOculusAlignment).inverse() * (h1 * kOculusAlignment);
    EXPECT_LT(AngleTo(pose.qRotation, expected), 2e-4f);
    EXPECT_GT(AngleTo(pose.qRotation, expectedOptical), 0.05f) << "the time offset was not applied";
    const Eigen::Quaternionf withoutRigidBody =
        streamed.cast<float>() * (paired * kOculusAlignment).inverse() * (h1 * kOculusAlignment);
    EXPECT_GT(AngleTo(pose.qRotation, withoutRigidBody), 0.03f) << "the rigid body was not applied";

    // A reload is in force from the next optical sample; the identity gives the sample back unchanged.
    device->SetCalibration(halvex::sDeviceCalibration{});
    EXPECT_EQ(mLog.CountContaining("halvex-head-o calibration replaced"), 1);
    device->SetCalibration(halvex::sDeviceCalibration{});
    EXPECT_EQ(mLog.CountContaining("halvex-head-o calibration replaced"), 1) << "the same one again changes nothing";
    device->UpdateOptical(position, orientation, 10.011, 0.012);
    device->ProcessChildSample(HeadsetSample(h1), 10.012);
    const vr::DriverPose_t plain = device->GetPose();
    for (int i = 0; i < 3; ++i) EXPECT_EQ(plain.vecPosition[i], position[i]);
    EXPECT_LT(AngleTo(plain.qRotation, streamed.cast<float>()), 1e-4f);
}

#if !defined(_WIN32)
TEST_F(OculusDevice, TheHeadRecordsTheHeadsetsRatesAndTheOpticalSamplesAsTheyCame) {
    const halvex::test::sScopedStateHome stateHome;
    mEnvironment.Set("HALVEX_OCULUS_SIM_SCENARIO", "head-turns");
    mProvider.mRecordRawData = true;
    mProvider.mCalibrations[Hmd] = TestCalibration();
    std::unique_ptr<cHalvexOculusDevice> head(new cHalvexOculusDevice(&mProvider, Hmd, "halvex-head", mLink.get()));
    std::unique_ptr<cHalvexOculusDevice> controller(
        new cHalvexOculusDevice(&mProvider, ControllerA, "halvex-controller-a", mLink.get()));
    ASSERT_EQ(head->Activate(7), vr::VRInitError_None);
    ASSERT_EQ(controller->Activate(8), vr::VRInitError_None);
    EXPECT_TRUE(head->Status().canRecord);
    const uint64_t start = mLink->SampleCount();
    const double position[3] = {0.1, 1.6, -0.3};
    const double orientation[4] = {0.0, 0.6, 0.0, 0.8};
    for (int i = 0; i < 20; ++i) {
        head->UpdateOptical(position, orientation, 20.0 + i * 0.01, 0.012);
        controller->UpdateOptical(position, orientation, 20.0 + i * 0.01, 0.012);
        ASSERT_TRUE(WaitUntil([&] { return mLink->SampleCount() >= start + 10 * (i + 1); }, 10.0));
    }
    EXPECT_TRUE(head->Status().recording);
    head->Deactivate();
    controller->Deactivate();
    EXPECT_FALSE(head->Status().recording);

    const std::filesystem::path folder = std::filesystem::u8path(halvex::platform::RecordingLogFolder());
    EXPECT_FALSE(std::filesystem::exists(folder / "device7_filter.csv")) << "this class has no filter";
    EXPECT_TRUE(std::filesystem::exists(folder / "device7_calibration.txt"));
    const std::vector<std::string> lines =
        halvex::test::SplitLines(halvex::test::ReadWholeFile((folder / "device7_rawdata.csv").u8string()));
    ASSERT_GT(lines.size(), 6u);
    EXPECT_EQ(lines[5], halvex::kOrientationOnlySourceLine);
    EXPECT_EQ(lines[6], halvex::kRawDataColumns);
    size_t imuRows = 0, opticalRows = 0;
    double previousDriverTime = -1.0;
    for (size_t i = 7; i < lines.size(); ++i) {
        std::vector<double> cells;
        for (const std::string& field : halvex::test::SplitFields(lines[i])) cells.push_back(std::strtod(field.c_str(), nullptr));
        ASSERT_EQ(cells.size(), 10u) << lines[i];
        EXPECT_GE(cells[0], previousDriverTime) << "rows in driver-time order";
        previousDriverTime = cells[0];
        if (lines[i].find(",imu,") != std::string::npos) {
            ++imuRows;
            EXPECT_EQ(cells[3], 0.0);
            EXPECT_EQ(cells[4], 0.0);
            EXPECT_EQ(cells[5], 0.0);
            EXPECT_EQ(cells[6], 0.0);
            EXPECT_TRUE(std::isfinite(cells[7]) && std::isfinite(cells[8]) && std::isfinite(cells[9]));
        } else {
            ++opticalRows;
            // Before any calibration: the rigid body and the stamp exactly as streamed.
            EXPECT_EQ(cells[1], 20.0 + static_cast<double>(opticalRows - 1) * 0.01);
            EXPECT_EQ(cells[3], 0.1);
            EXPECT_EQ(cells[7], 0.0);
            EXPECT_EQ(cells[8], 0.6);
            EXPECT_EQ(cells[6], 0.8);
        }
    }
    EXPECT_EQ(opticalRows, 20u);
    EXPECT_GE(imuRows, 190u);

    // The controller's file: its optical rows only, the headset is not its sensor.
    const std::vector<std::string> controllerLines =
        halvex::test::SplitLines(halvex::test::ReadWholeFile((folder / "device8_rawdata.csv").u8string()));
    ASSERT_EQ(controllerLines.size(), 6u + 20u);
    EXPECT_EQ(controllerLines[5], halvex::kRawDataColumns);
    EXPECT_EQ(mLog.CountContaining("halvex-head-o recording ended"), 1);
}

std::string Ask(cIHalvexDevice& device, const char* request) {
    std::vector<char> buffer(32768, '#');
    device.DebugRequest(request, buffer.data(), static_cast<uint32_t>(buffer.size()));
    return buffer.data();
}

TEST_F(OculusDevice, RecordingStartsAndStopsLiveByRequest) {
    const halvex::test::sScopedStateHome stateHome;
    mEnvironment.Set("HALVEX_OCULUS_SIM_SCENARIO", "head-turns");
    std::unique_ptr<cHalvexOculusDevice> device(new cHalvexOculusDevice(&mProvider, Hmd, "halvex-head", mLink.get()));
    mProvider.mHeadDevice = device.get();
    EXPECT_NE(Ask(*device, "halvex/1 record start").find("\"ok\":false"), std::string::npos) << "inactive: no recording";
    ASSERT_EQ(device->Activate(9), vr::VRInitError_None);
    EXPECT_FALSE(device->Status().recording) << "recordRawData is off";
    const std::string path =
        (std::filesystem::u8path(halvex::platform::RecordingLogFolder()) / "device9_rawdata.csv").u8string();
    for (int round = 0; round < 2; ++round) {
        std::string started;
        ASSERT_TRUE(WaitUntil([&] { return (started = Ask(*device, "halvex/1 record start")).find("\"ok\":true") != std::string::npos; },
                              5.0))
            << started;
        EXPECT_NE(started.find("device9_rawdata.csv"), std::string::npos) << started;
        EXPECT_TRUE(device->Status().recording);
        const uint64_t from = mLink->SampleCount();
        ASSERT_TRUE(WaitUntil([&] { return mLink->SampleCount() >= from + 100; }, 10.0));
        EXPECT_NE(Ask(*device, "halvex/1 record stop").find("\"ok\":true"), std::string::npos);
        ASSERT_TRUE(WaitUntil([&] { return mLog.CountContaining("halvex-head-o recording ended") == round + 1; }, 5.0));
        EXPECT_FALSE(device->Status().recording);
        const std::vector<std::string> lines = halvex::test::SplitLines(halvex::test::ReadWholeFile(path));
        ASSERT_GT(lines.size(), 100u) << "round " << round;
        EXPECT_EQ(lines[5], halvex::kOrientationOnlySourceLine);
    }
    device->Deactivate();
    mProvider.mHeadDevice = nullptr;
}
#endif

}  // namespace
