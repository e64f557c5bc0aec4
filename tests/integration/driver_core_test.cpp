// The driver library loaded into the stand-in runtime, as a user's session would.
#include "test_support.h"
#include "vrhost/host/server_driver_host.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstring>

namespace {

using namespace halvex::test;

const vrhost::sDeviceRecord* FindDevice(const std::vector<vrhost::sDeviceRecord>& devices, const std::string& serial) {
    for (const auto& device : devices)
        if (device.serial == serial) return &device;
    return nullptr;
}

TEST(DriverCore, HeadOnlySessionRegistersOneTrackerWithItsProperties) {
    auto host = MakeHost({IntSetting("tessalyRigidBodyIdHead", 3)});
    ASSERT_EQ(host->Init(), vr::VRInitError_None);
    host->RunFrames(3);
    const auto log = host->Log();
    EXPECT_TRUE(HasLine(log, "Initializing Halvex OpenVR Driver - Version 2.2.0.0 (changelist: 57183)\n"));
    EXPECT_TRUE(HasLine(log, "Starting halvex-head-s"));
    EXPECT_TRUE(HasLine(log, "halvex-head-s mRigidBodyID=3"));
    EXPECT_TRUE(HasLine(log, "cHalvexSteamvrDevice: Hmd"));
    EXPECT_TRUE(HasLine(log, "Activating Halvex SteamVR Device"));

    const auto devices = host->Devices();
    ASSERT_EQ(devices.size(), 1u);
    const vrhost::sDeviceRecord& head = devices[0];
    EXPECT_EQ(head.serial, "halvex-head");
    EXPECT_EQ(head.deviceClass, vr::TrackedDeviceClass_GenericTracker);
    EXPECT_EQ(head.index, 1u);
    EXPECT_TRUE(head.activated);
    EXPECT_EQ(PropertyString(*host, head.index, vr::Prop_TrackingSystemName_String), "Halvex");
    EXPECT_EQ(PropertyString(*host, head.index, vr::Prop_ModelNumber_String), "Halvex1.0");
    EXPECT_EQ(PropertyString(*host, head.index, vr::Prop_SerialNumber_String), "halvex-head");
    EXPECT_EQ(PropertyString(*host, head.index, vr::Prop_RenderModelName_String), "HalvexRigidBody");
    EXPECT_EQ(PropertyString(*host, head.index, vr::Prop_InputProfilePath_String),
              "{halvex}/input/halvex_rigid_body_profile.json");
    EXPECT_EQ(PropertyString(*host, head.index, vr::Prop_DriverProvidedChaperonePath_String),
              "{halvex}/chaperone_info.vrchap");
    bool universeFound = false;
    for (const auto& record : host->Properties(head.index)) {
        if (record.prop != vr::Prop_CurrentUniverseId_Uint64) continue;
        universeFound = true;
        ASSERT_EQ(record.bytes.size(), 8u);
        uint64_t universe = 0;
        std::memcpy(&universe, record.bytes.data(), 8);
        EXPECT_EQ(universe, 0x48414C5645584944ULL);
        EXPECT_EQ(record.tag, vr::k_unUint64PropertyTag);
    }
    EXPECT_TRUE(universeFound);

    // Before any sample the pose is the default one: calibrating, not valid, connected.
    ASSERT_TRUE(head.hasInitialPose);
    EXPECT_EQ(head.initialPose.result, vr::TrackingResult_Calibrating_InProgress);
    EXPECT_FALSE(head.initialPose.poseIsValid);
    EXPECT_TRUE(head.initialPose.deviceIsConnected);
    EXPECT_DOUBLE_EQ(head.initialPose.qWorldFromDriverRotation.y, 1.0);
    EXPECT_DOUBLE_EQ(head.initialPose.poseTimeOffset, -0.001);
    host->Cleanup();
    const auto finalLog = host->Log();
    EXPECT_TRUE(HasLine(finalLog, "halvex-head-s mRigidBodyID=3 Shutdown"));
    EXPECT_EQ(CountLinesContaining(finalLog, "Start object counts "), 1u);
    EXPECT_EQ(CountLinesContaining(finalLog, "Destroy object counts "), 1u);
}

TEST(DriverCore, DebugLevelAndRecordingAreAnnouncedAtConstruction) {
    auto host = MakeHost({IntSetting("tessalyRigidBodyIdHead", 3), IntSetting("debugLevel", 2),
                          BoolSetting("recordRawData", true)});
    ASSERT_EQ(host->Init(), vr::VRInitError_None);
    const auto log = host->Log();
    EXPECT_TRUE(HasLine(log, "DebugLevel = 2"));
    EXPECT_TRUE(HasLine(log, "Recording Raw Data"));
    // Each device counts its own construction: "constructed/destroyed semantic".
    size_t start = 0;
    for (const auto& line : log)
        if (line.rfind("Start object counts ", 0) == 0 && line.find(" semantic 0") != std::string::npos) ++start;
    EXPECT_EQ(start, 1u);
    host->Cleanup();
}

TEST(DriverCore, TrackingTypeHmdOnlyKeepsTheDriverOut) {
    auto host = MakeHost({IntSetting("tessalyRigidBodyIdHead", 3), StringSetting("trackingType", "HMDOnly")});
    EXPECT_EQ(host->Init(), vr::VRInitError_Init_NotInitialized);
    host->RunFrames(2);
    EXPECT_TRUE(host->Devices().empty());
    host->Cleanup();

    // Another case of the word is just Standard.
    auto lower = MakeHost({IntSetting("tessalyRigidBodyIdHead", 3), StringSetting("trackingType", "hmdonly")});
    EXPECT_EQ(lower->Init(), vr::VRInitError_None);
    EXPECT_EQ(lower->Devices().size(), 1u);
    lower->Cleanup();
}

TEST(DriverCore, HeadsetTrackingSystemChoosesTheDeviceClass) {
    struct sCase {
        const char* system;
        const char* expectedStart;
    };
    const sCase cases[] = {{"oculus", "Starting halvex-head-o"},     {"OcUlUs", "Starting halvex-head-o"},
                           {"", "Starting halvex-head-o"},           {"holographic", "Starting halvex-head-w"},
                           {"LightHouse", "Starting halvex-head-s"}, {"light", "Starting halvex-head-s"}};
    for (const sCase& c : cases) {
        vrhost::sHostOptions options;
        options.hmdTrackingSystem = std::string(c.system);
        auto host = MakeHost({IntSetting("tessalyRigidBodyIdHead", 3)}, options);
        ASSERT_EQ(host->Init(), vr::VRInitError_None) << c.system;
        EXPECT_TRUE(HasLine(host->Log(), c.expectedStart)) << c.system;
        EXPECT_EQ(CountLinesContaining(host->Log(), "Unrecognized HMD tracking system"), 0u) << c.system;
        host->Cleanup();
    }

    // No property at all reads as the empty name, which is a leading part of "oculus".
    vrhost::sHostOptions none;
    none.hmdTrackingSystem.reset();
    auto unset = MakeHost({IntSetting("tessalyRigidBodyIdHead", 3)}, none);
    ASSERT_EQ(unset->Init(), vr::VRInitError_None);
    EXPECT_TRUE(HasLine(unset->Log(), "Starting halvex-head-o"));
    unset->Cleanup();
}

TEST(DriverCore, UnknownTrackingSystemMakesLighthouseHeadsForEverySlot) {
    vrhost::sHostOptions options;
    options.hmdTrackingSystem = std::string("lighthouse2");
    auto host = MakeHost({IntSetting("tessalyRigidBodyIdHead", 3), IntSetting("tessalyRigidBodyIdControllerA", 5)},
                         options);
    ASSERT_EQ(host->Init(), vr::VRInitError_None);
    EXPECT_EQ(CountLinesContaining(host->Log(), "Warning: Unrecognized HMD tracking system 'lighthouse2'\n"), 2u);
    // Both slots made a head; the runtime accepts one device per serial.
    const auto devices = host->Devices();
    ASSERT_EQ(devices.size(), 1u);
    EXPECT_EQ(devices[0].serial, "halvex-head");
    EXPECT_EQ(CountLinesContaining(host->Log(), "cHalvexSteamvrDevice: Hmd"), 2u);
    host->Cleanup();
}

TEST(DriverCore, SlotsFollowTheRigidBodyIds) {
    auto host = MakeHost({IntSetting("tessalyRigidBodyIdHead", 0), IntSetting("tessalyRigidBodyIdControllerA", -7),
                          IntSetting("tessalyRigidBodyIdControllerB", 12), IntSetting("debugLevel", -3)});
    ASSERT_EQ(host->Init(), vr::VRInitError_None);
    const auto devices = host->Devices();
    ASSERT_EQ(devices.size(), 2u);
    EXPECT_NE(FindDevice(devices, "halvex-controller-a"), nullptr);
    EXPECT_NE(FindDevice(devices, "halvex-controller-b"), nullptr);
    EXPECT_EQ(FindDevice(devices, "halvex-head"), nullptr);
    const auto log = host->Log();
    EXPECT_TRUE(HasLine(log, "halvex-controller-a-s mRigidBodyID=-7"));
    EXPECT_TRUE(HasLine(log, "halvex-controller-b-s mRigidBodyID=12"));
    EXPECT_TRUE(HasLine(log, "cHalvexSteamvrDevice: ControllerA"));
    EXPECT_EQ(CountLinesContaining(log, "DebugLevel = "), 0u) << "a negative debug level counts as 0";
    host->Cleanup();

    auto empty = MakeHost({});
    EXPECT_EQ(empty->Init(), vr::VRInitError_None);
    EXPECT_TRUE(empty->Devices().empty());
    empty->Cleanup();
}

TEST(DriverCore, MissingHostInterfaceFailsInitWithNothingCreated) {
    for (const char* withheld : {"IVRServerDriverHost_006", "IVRSettings_003", "IVRDriverLog_001",
                                 "IVRDriverManager_001", "IVRResources_001"}) {
        vrhost::sHostOptions options;
        options.withheldInterfaces = {withheld};
        auto host = MakeHost({IntSetting("tessalyRigidBodyIdHead", 3)}, options);
        EXPECT_EQ(host->Init(), vr::VRInitError_Init_InterfaceNotFound) << withheld;
        EXPECT_TRUE(host->Devices().empty()) << withheld;
        host->Cleanup();
    }
    // Properties are looked up at start-up but not required.
    vrhost::sHostOptions options;
    options.withheldInterfaces = {"IVRProperties_001"};
    auto host = MakeHost({IntSetting("tessalyRigidBodyIdHead", 3)}, options);
    EXPECT_EQ(host->Init(), vr::VRInitError_None);
    host->Cleanup();
}

TEST(DriverCore, CleanupRightAfterInitIsPromptAndRemovesTheLogSink) {
    auto host = MakeHost({IntSetting("tessalyRigidBodyIdHead", 3), IntSetting("tessalyRigidBodyIdControllerA", 4)});
    ASSERT_EQ(host->Init(), vr::VRInitError_None);
    const auto start = std::chrono::steady_clock::now();
    host->Cleanup();
    // Generous bound: it is about the watchdog's one-second period, not a benchmark.
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(3));
    const auto log = host->Log();
    EXPECT_TRUE(HasLine(log, "halvex-controller-a-s mRigidBodyID=4 Shutdown"));
}

TEST(DriverCore, DebugRequestAndComponentsAnswerAsAPlainTracker) {
    auto host = MakeHost({IntSetting("tessalyRigidBodyIdHead", 3)});
    ASSERT_EQ(host->Init(), vr::VRInitError_None);
    auto* device = host->ServerDriverHost().Device(1);
    ASSERT_NE(device, nullptr);
    char response[16];
    std::memset(response, 'z', sizeof(response));
    device->DebugRequest("ping", response, 0);
    EXPECT_EQ(response[0], 'z');
    // Not a request of the driver's protocol: an error answer, cut to the buffer and terminated.
    device->DebugRequest("ping", response, sizeof(response));
    EXPECT_EQ(std::string(response), std::string(R"({"protocol":"halvex/1")").substr(0, 15));
    EXPECT_TRUE(HasLine(host->Log(), "DebugRequest (halvex-head): 'ping'\n"));
    EXPECT_EQ(device->GetComponent("IVRDisplayComponent_002"), nullptr);
    EXPECT_EQ(device->GetComponent("IVRDriverInput_003"), nullptr);
    host->Cleanup();
}

}  // namespace
