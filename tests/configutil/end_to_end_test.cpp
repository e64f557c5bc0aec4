// What a user does: vrhost runs the driver, the utility connects and lists the
// runtime's devices, the user saves, and the driver does what was saved at its next
// start, with no file edited by hand.
#include "Application.h"
#include "MainWindow.h"

#include "client_test_support.h"
#include "hosted_runtime.h"
#include "tessaly/server/mocap_server.h"

#include <gtest/gtest.h>

#include <QCheckBox>
#include <QComboBox>
#include <QPushButton>
#include <QSpinBox>

namespace {

using halvex::test::cHostedRuntime;
using halvex::test::cPrivateStateFolder;
using halvex::test::ReadText;
using halvex::test::WriteText;

size_t SubscriptionsOf(const tessaly::server::cMocapServer& server, int id) {
    const std::string command = "SubscribeByID,RigidBody," + std::to_string(id);
    size_t count = 0;
    for (const std::string& received : server.ReceivedCommands()) count += received == command ? 1 : 0;
    return count;
}

TEST(EndToEnd, WhatTheUtilitySavesIsWhatTheDriverDoesAtItsNextStart) {
    cPrivateStateFolder state;
    const std::filesystem::path settingsFile = state.Root() / "vrhost.vrsettings";
    WriteText(settingsFile, R"({"driver_halvex": {"tessalyRigidBodyIdHead": 3, "trackingType": "Standard"}})");

    tessaly::server::sMocapServerConfig config;
    config.frameRateHz = 60.0;
    tessaly::server::cMocapServer server(config);
    std::string error;
    ASSERT_TRUE(server.Start(&error)) << error;
    tessaly::server::sRigidBodyPose pose;
    pose.position[1] = 1.6f;
    for (int id : {3, 8, 9}) server.SetRigidBody(id, pose);
    halvex::test::SetEnvironment("TESSALY_DISCOVERY_ADDRESSES", server.DiscoveryEntry());

    {
        cHostedRuntime runtime(settingsFile, {"lighthouse/LHR-AAAA"});
        ASSERT_TRUE(runtime.Start());

        int argc = 1;
        char name[] = "driver_halvex_configutil";
        char* argv[] = {name, nullptr};
        cApplication application(argc, argv);
        cMainWindow& w = *application.MainWindow();
        ASSERT_TRUE(application.IsOpenvrInitialized());
        EXPECT_EQ(application.TrackedDevices().size(), 3) << "the headset, the driver's head, the other controller";
        EXPECT_TRUE(w.HeadEnableBox()->isChecked());
        EXPECT_EQ(w.HeadRigidBodyBox()->value(), 3);
        const int target = w.ControllerAOverrideBox()->findText("/devices/lighthouse/LHR-AAAA");
        ASSERT_GE(target, 0) << "the other system's controller is offered";

        w.HeadRigidBodyBox()->setValue(8);
        w.ControllerAEnableBox()->setChecked(true);
        w.ControllerARigidBodyBox()->setValue(9);
        w.ControllerAOverrideBox()->setCurrentIndex(target);
        w.TrackingTypeBox()->setCurrentIndex(1);
        w.SaveButton()->click();

        runtime.Stop();
    }
    const std::string saved = ReadText(settingsFile);
    EXPECT_NE(saved.find("\"tessalyRigidBodyIdHead\": 8"), std::string::npos) << saved;
    EXPECT_NE(saved.find("\"tessalyRigidBodyIdControllerA\": 9"), std::string::npos) << saved;
    EXPECT_NE(saved.find("\"/devices/halvex/halvex-controller-a\": \"/devices/lighthouse/LHR-AAAA\""),
              std::string::npos)
        << saved;
    EXPECT_NE(saved.find("\"trackingType\": \"HalvexOnly\""), std::string::npos) << saved;

    const size_t before3 = SubscriptionsOf(server, 3);
    cHostedRuntime restarted(settingsFile, {});
    ASSERT_TRUE(restarted.Start());
    EXPECT_TRUE(
        restarted.RunUntil([&] { return SubscriptionsOf(server, 8) > 0 && SubscriptionsOf(server, 9) > 0; }, 15.0))
        << restarted.Log();
    EXPECT_EQ(SubscriptionsOf(server, 3), before3) << "the old head ID is no longer subscribed";
    // Without an IMU stream only an optical-only head reports valid poses.
    EXPECT_TRUE(restarted.RunUntil([&] { return restarted.HeadPoseValid(); }, 5.0))
        << "the saved tracking type is in force";
}

}  // namespace

int main(int argc, char** argv) {
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
