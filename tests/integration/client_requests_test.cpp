// A client program, built from the client-side declarations only, against vrhost
// hosting the driver: it reads the devices' poses and asks the driver for its status,
// changes a setting and has the driver reload it, all with the runtime running.
#include "client_test_support.h"
#include "hosted_runtime.h"
#include "tessaly/server/mocap_server.h"

#include <openvr.h>

#include <nlohmann/json.hpp>

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <string>
#include <vector>

namespace {

using halvex::test::cHostedRuntime;
using halvex::test::cPrivateStateFolder;
using halvex::test::WriteText;

vr::TrackedDeviceIndex_t IndexOf(vr::IVRSystem& system, const std::string& serial) {
    for (vr::TrackedDeviceIndex_t i = 0; i < vr::k_unMaxTrackedDeviceCount; ++i) {
        char text[128] = {};
        vr::ETrackedPropertyError error = vr::TrackedProp_Success;
        system.GetStringTrackedDeviceProperty(i, vr::Prop_SerialNumber_String, text, sizeof(text), &error);
        if (error == vr::TrackedProp_Success && serial == text) return i;
    }
    return vr::k_unTrackedDeviceIndexInvalid;
}

nlohmann::json Ask(vr::IVRDebug& debug, vr::TrackedDeviceIndex_t device, const char* request) {
    std::vector<char> buffer(32768, '#');
    const uint32_t size = debug.DriverDebugRequest(device, request, buffer.data(), static_cast<uint32_t>(buffer.size()));
    EXPECT_EQ(size, std::strlen(buffer.data()) + 1) << request;
    return nlohmann::json::parse(buffer.data(), nullptr, false);
}

struct sClientSession {
    sClientSession() { system = vr::VR_Init(&error, vr::VRApplication_Background); }
    ~sClientSession() {
        if (system) vr::VR_Shutdown();
    }
    vr::EVRInitError error = vr::VRInitError_None;
    vr::IVRSystem* system = nullptr;
};

TEST(ClientRequests, AClientReadsValidPosesAndTheDriverAnswersItsRequests) {
    cPrivateStateFolder state;
    const std::filesystem::path settingsFile = state.Root() / "vrhost.vrsettings";
    WriteText(settingsFile, R"({"driver_halvex": {"tessalyRigidBodyIdHead": 3, "tessalyRigidBodyIdControllerA": 8,
        "tessalyRigidBodyIdControllerB": 9, "trackingType": "HalvexOnly"}})");

    tessaly::server::sMocapServerConfig config;
    config.frameRateHz = 60.0;
    tessaly::server::cMocapServer server(config);
    std::string error;
    ASSERT_TRUE(server.Start(&error)) << error;
    tessaly::server::sRigidBodyPose pose;
    pose.position[1] = 1.6f;
    for (int id : {3, 8, 9}) server.SetRigidBody(id, pose);
    halvex::test::SetEnvironment("TESSALY_DISCOVERY_ADDRESSES", server.DiscoveryEntry());

    cHostedRuntime runtime(settingsFile, {});
    ASSERT_TRUE(runtime.Start());
    ASSERT_TRUE(runtime.RunUntil([&] { return runtime.HeadPoseValid(); }, 15.0)) << runtime.Log();

    sClientSession session;
    ASSERT_NE(session.system, nullptr) << vr::VR_GetVRInitErrorAsSymbol(session.error);
    vr::EVRInitError interfaceError = vr::VRInitError_None;
    auto* debug = static_cast<vr::IVRDebug*>(vr::VR_GetGenericInterface(vr::IVRDebug_Version, &interfaceError));
    ASSERT_NE(debug, nullptr);
    EXPECT_EQ(vr::VRDebug(), debug);

    const vr::TrackedDeviceIndex_t head = IndexOf(*session.system, "halvex-head");
    ASSERT_NE(head, vr::k_unTrackedDeviceIndexInvalid);
    const vr::TrackedDeviceIndex_t controllerA = IndexOf(*session.system, "halvex-controller-a");
    ASSERT_NE(controllerA, vr::k_unTrackedDeviceIndexInvalid);

    // Poses: the driver's three devices tracked where the server puts them, the headset present.
    std::vector<vr::TrackedDevicePose_t> poses(vr::k_unMaxTrackedDeviceCount);
    ASSERT_TRUE(runtime.RunUntil(
        [&] {
            session.system->GetDeviceToAbsoluteTrackingPose(vr::TrackingUniverseStanding, 0.0f, poses.data(),
                                                             static_cast<uint32_t>(poses.size()));
            return poses[head].bPoseIsValid && poses[controllerA].bPoseIsValid;
        },
        10.0));
    EXPECT_TRUE(poses[head].bDeviceIsConnected);
    EXPECT_EQ(poses[head].eTrackingResult, vr::TrackingResult_Running_OK);
    EXPECT_NEAR(poses[head].mDeviceToAbsoluteTracking.m[1][3], 1.6f, 0.2f) << "the server's height";
    EXPECT_TRUE(poses[vr::k_unTrackedDeviceIndex_Hmd].bDeviceIsConnected);
    EXPECT_FALSE(poses[vr::k_unTrackedDeviceIndex_Hmd].bPoseIsValid) << "the headset sent no pose";
    EXPECT_FALSE(poses[40].bDeviceIsConnected) << "no device there";

    // Status, through any of the driver's devices.
    nlohmann::json status;
    ASSERT_TRUE(runtime.RunUntil([&] { return (status = Ask(*debug, controllerA, "halvex/1 status"))["server"]["frameRate"] > 0; },
                                 5.0))
        << status.dump();
    EXPECT_EQ(status["protocol"], "halvex/1");
    EXPECT_EQ(status["ok"], true);
    EXPECT_EQ(status["server"]["state"], "streaming");
    EXPECT_NEAR(status["server"]["frameRate"].get<double>(), 60.0, 15.0);
    EXPECT_TRUE(status["server"]["latencyMs"].is_number());
    ASSERT_EQ(status["devices"].size(), 3u);
    EXPECT_EQ(status["devices"][0]["role"], "head");
    EXPECT_EQ(status["devices"][0]["valid"], true);
    EXPECT_EQ(status["devices"][0]["mode"], "direct");
    EXPECT_LT(status["devices"][0]["secondsSinceOptical"].get<double>(), 1.0);
    EXPECT_EQ(status["recording"], false);

    // A small buffer gets the answer's beginning, terminated; the size says how long it was.
    char small[16];
    std::memset(small, '#', sizeof(small));
    const uint32_t size = debug->DriverDebugRequest(head, "halvex/1 status", small, sizeof(small));
    EXPECT_EQ(std::strlen(small), 15u);
    EXPECT_EQ(std::string(small), std::string(R"({"protocol":"halvex/1")").substr(0, 15));
    EXPECT_EQ(size, 16u) << "vrhost hands the driver the caller's buffer size";

    const nlohmann::json unknown = Ask(*debug, head, "halvex/1 fly");
    EXPECT_EQ(unknown["ok"], false);
    EXPECT_TRUE(unknown["error"].is_string());

    // A setting changed with the runtime running is in force after a reload.
    EXPECT_EQ(status["predictDirectPoses"], false);
    vr::EVRSettingsError settingsError = vr::VRSettingsError_None;
    vr::VRSettings()->SetBool("driver_halvex", "predictDirectPoses", true, &settingsError);
    vr::VRSettings()->SetInt32("driver_halvex", "debugLevel", 2, &settingsError);
    ASSERT_EQ(settingsError, vr::VRSettingsError_None);
    EXPECT_EQ(Ask(*debug, head, "halvex/1 status")["predictDirectPoses"], false) << "not before the reload";
    const nlohmann::json reloaded = Ask(*debug, head, "halvex/1 reload");
    EXPECT_EQ(reloaded["ok"], true);
    EXPECT_EQ(reloaded["predictDirectPoses"], true);
    EXPECT_EQ(reloaded["debugLevel"], 2);
    EXPECT_EQ(Ask(*debug, head, "halvex/1 status")["debugLevel"], 2);

    // No device at an index: nothing answers.
    char none[8] = "x";
    EXPECT_EQ(debug->DriverDebugRequest(40, "halvex/1 status", none, sizeof(none)), 0u);
    EXPECT_STREQ(none, "");

    runtime.Stop();
}

TEST(ClientRequests, TheRuntimePathIsTheStateFolder) {
    cPrivateStateFolder state;
    uint32_t required = 0;
    EXPECT_FALSE(vr::VR_GetRuntimePath(nullptr, 0, &required));
    ASSERT_GT(required, 1u);
    std::vector<char> path(required);
    ASSERT_TRUE(vr::VR_GetRuntimePath(path.data(), required, &required));
    EXPECT_EQ(std::filesystem::u8path(path.data()), state.Folder());
    EXPECT_FALSE(vr::VR_GetRuntimePath(path.data(), required - 1, &required)) << "one byte short";
}

}  // namespace
