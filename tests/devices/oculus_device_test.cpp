#include "oculus_test_support.h"

#include "core/device_provider.h"
#include "devices/oculus_device.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <memory>

namespace {

using namespace halvex::oculus;
using halvex::test::WaitUntil;

const Eigen::Quaternionf kAlignment(0.0f, 0.0f, 1.0f, 0.0f);

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
    EXPECT_LT(AngleTo(pose.qRotation, headset * kAlignment), 1e-4f);  // no correction yet
    EXPECT_FLOAT_EQ(static_cast<float>(pose.vecAngularVelocity[1]), 0.5f);

    device->UpdateOptical(position, orientation, 10.002, 0.012);
    device->ProcessChildSample(HeadsetSample(headset), 10.003);
    EXPECT_LT(AngleTo(device->GetPose().qRotation, optical), 1e-4f);
    EXPECT_EQ(mLog.CountContaining("ERROR: vr::VRServerDriverHost() null"), 0);  // inactive: never submitted
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

}  // namespace
