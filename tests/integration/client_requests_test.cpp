// A client program, built from the client-side declarations only, against vrhost
// hosting the driver: it reads the devices' poses and asks the driver for its status,
// changes a setting and has the driver reload it, all with the runtime running.
#include "client_test_support.h"
#include "hosted_runtime.h"
#include "platform/known_folders.h"
#include "recording/device_calibration.h"
#include "tessaly/server/mocap_server.h"

#include <openvr.h>

#include <Eigen/Geometry>
#include <nlohmann/json.hpp>

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <filesystem>
#include <initializer_list>
#include <memory>
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

// A 60 Hz server streaming `pose` for each of `ids`, the driver told where it is; null when it cannot start.
std::unique_ptr<tessaly::server::cMocapServer> StartStillServer(const tessaly::server::sRigidBodyPose& pose,
                                                                std::initializer_list<int> ids) {
    tessaly::server::sMocapServerConfig config;
    config.frameRateHz = 60.0;
    auto server = std::make_unique<tessaly::server::cMocapServer>(config);
    std::string error;
    if (!server->Start(&error)) {
        ADD_FAILURE() << error;
        return nullptr;
    }
    for (int id : ids) server->SetRigidBody(id, pose);
    halvex::test::SetEnvironment("TESSALY_DISCOVERY_ADDRESSES", server->DiscoveryEntry());
    return server;
}

struct sClientSession {
    sClientSession() { system = vr::VR_Init(&error, vr::VRApplication_Background); }
    ~sClientSession() {
        if (system) vr::VR_Shutdown();
    }
    vr::EVRInitError error = vr::VRInitError_None;
    vr::IVRSystem* system = nullptr;
};

// vrhost started until the driver's head tracks, and a client of it: its system and debug
// interfaces and the head's index.
struct sTrackingRuntime {
    explicit sTrackingRuntime(const std::filesystem::path& settingsFile) : runtime(settingsFile, {}) {}
    bool Start() {
        if (!runtime.Start()) return false;
        if (!runtime.RunUntil([&] { return runtime.HeadPoseValid(); }, 15.0)) {
            ADD_FAILURE() << runtime.Log();
            return false;
        }
        session = std::make_unique<sClientSession>();
        if (!(system = session->system)) return false;
        vr::EVRInitError error = vr::VRInitError_None;
        debug = static_cast<vr::IVRDebug*>(vr::VR_GetGenericInterface(vr::IVRDebug_Version, &error));
        head = IndexOf(*system, "halvex-head");
        return debug && head != vr::k_unTrackedDeviceIndexInvalid;
    }
    cHostedRuntime runtime;
    std::unique_ptr<sClientSession> session;  // ends before the runtime
    vr::IVRSystem* system = nullptr;
    vr::IVRDebug* debug = nullptr;
    vr::TrackedDeviceIndex_t head = vr::k_unTrackedDeviceIndexInvalid;
};

TEST(ClientRequests, AClientReadsValidPosesAndTheDriverAnswersItsRequests) {
    cPrivateStateFolder state;
    const std::filesystem::path settingsFile = state.Root() / "vrhost.vrsettings";
    WriteText(settingsFile, R"({"driver_halvex": {"tessalyRigidBodyIdHead": 3, "tessalyRigidBodyIdControllerA": 8,
        "tessalyRigidBodyIdControllerB": 9, "trackingType": "HalvexOnly"}})");

    tessaly::server::sRigidBodyPose pose;
    pose.position[1] = 1.6f;
    const auto server = StartStillServer(pose, {3, 8, 9});
    ASSERT_NE(server, nullptr);

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

// The head's pose in the client's universe; stable once two reads a few frames apart agree.
struct sHeadPose {
    Eigen::Vector3d position;
    Eigen::Quaterniond orientation;
};

sHeadPose ReadHeadPose(vr::IVRSystem& system, vr::TrackedDeviceIndex_t head) {
    std::vector<vr::TrackedDevicePose_t> poses(vr::k_unMaxTrackedDeviceCount);
    system.GetDeviceToAbsoluteTrackingPose(vr::TrackingUniverseStanding, 0.0f, poses.data(),
                                           static_cast<uint32_t>(poses.size()));
    const vr::HmdMatrix34_t& m = poses[head].mDeviceToAbsoluteTracking;
    Eigen::Matrix3d rotation;
    for (int r = 0; r < 3; ++r)
        for (int c = 0; c < 3; ++c) rotation(r, c) = m.m[r][c];
    return {Eigen::Vector3d(m.m[0][3], m.m[1][3], m.m[2][3]), Eigen::Quaterniond(rotation).normalized()};
}

double Degrees(const Eigen::Quaterniond& a, const Eigen::Quaterniond& b) {
    return Eigen::AngleAxisd(a.inverse() * b).angle() * 180.0 / 3.14159265358979323846;
}

size_t CountLines(const std::string& log, const std::string& text) {
    size_t count = 0;
    for (size_t at = log.find(text); at != std::string::npos; at = log.find(text, at + 1)) ++count;
    return count;
}

TEST(ClientRequests, AReloadedCalibrationMovesTheHeadLiveAndALiveRecordingNamesItsFiles) {
    cPrivateStateFolder state;
    const std::filesystem::path settingsFile = state.Root() / "vrhost.vrsettings";
    WriteText(settingsFile, R"({"driver_halvex": {"tessalyRigidBodyIdHead": 3, "tessalyRigidBodyIdControllerA": 8,
        "trackingType": "HalvexOnly"}})");
    tessaly::server::sRigidBodyPose pose;
    pose.position[1] = 1.6f;
    // Turned, so that the rigid body's offset does not lie along a world axis.
    pose.orientation[0] = 0.2f;
    pose.orientation[3] = std::sqrt(1.0f - 0.04f);
    const auto server = StartStillServer(pose, {3, 8});
    ASSERT_NE(server, nullptr);

    sTrackingRuntime tracking(settingsFile);
    ASSERT_TRUE(tracking.Start());

    // Waits for the head to settle (the direct path's velocity after a jump fades in a frame).
    const auto settledHead = [&] {
        sHeadPose previous = ReadHeadPose(*tracking.system, tracking.head);
        sHeadPose now = previous;
        EXPECT_TRUE(tracking.runtime.RunUntil(
            [&] {
                now = ReadHeadPose(*tracking.system, tracking.head);
                const bool same = (now.position - previous.position).norm() < 1e-5 &&
                                  Degrees(now.orientation, previous.orientation) < 1e-3;
                previous = now;
                return same;
            },
            5.0));
        return now;
    };
    const auto reload = [&](const char* rigidBody) {
        vr::EVRSettingsError settingsError = vr::VRSettingsError_None;
        vr::VRSettings()->SetString("driver_halvex", "calibrationHeadRigidBodyInDevice", rigidBody, &settingsError);
        EXPECT_EQ(settingsError, vr::VRSettingsError_None);
        const nlohmann::json answer = Ask(*tracking.debug, tracking.head, "halvex/1 reload");
        EXPECT_EQ(answer["ok"], true) << answer.dump();
        return answer;
    };

    nlohmann::json status = Ask(*tracking.debug, tracking.head, "halvex/1 status");
    ASSERT_EQ(status["devices"].size(), 2u) << status.dump();
    EXPECT_EQ(status["devices"][0]["calibration"]["identity"], true);
    EXPECT_EQ(status["devices"][0]["calibration"]["translationMm"], nlohmann::json::array({0, 0, 0}));
    const sHeadPose uncalibrated = settledHead();

    // The rigid body 10 degrees and 100 mm off the head frame: the head moves by that transform.
    const nlohmann::json reloaded = reload("0,0,10,0,100,0");
    ASSERT_EQ(reloaded["devices"].size(), 2u) << reloaded.dump();
    EXPECT_EQ(reloaded["devices"][0]["role"], "head");
    EXPECT_EQ(reloaded["devices"][0]["calibration"]["identity"], false);
    EXPECT_NEAR(reloaded["devices"][0]["calibration"]["rotationDeg"][2].get<double>(), 10.0, 1e-6);
    EXPECT_NEAR(reloaded["devices"][0]["calibration"]["translationMm"][1].get<double>(), 100.0, 1e-6);
    EXPECT_EQ(reloaded["devices"][1]["calibration"]["identity"], true) << "controller A has none";
    ASSERT_TRUE(tracking.runtime.RunUntil(
        [&] { return (ReadHeadPose(*tracking.system, tracking.head).position - uncalibrated.position).norm() > 0.05; },
        5.0));
    const sHeadPose calibrated = settledHead();
    EXPECT_NEAR((calibrated.position - uncalibrated.position).norm(), 0.100, 0.002);
    EXPECT_NEAR(Degrees(calibrated.orientation, uncalibrated.orientation), 10.0, 0.1);
    status = Ask(*tracking.debug, tracking.head, "halvex/1 status");
    EXPECT_NEAR(status["devices"][0]["calibration"]["rotationDeg"][2].get<double>(), 10.0, 1e-6);
    EXPECT_EQ(status["devices"][0]["calibration"]["opticalTimeOffsetMs"], 0);

    // A malformed value: one log line, and the head back on the identity.
    const nlohmann::json malformed = reload("0,0,10,0,100");
    EXPECT_EQ(malformed["devices"][0]["calibration"]["identity"], true) << malformed.dump();
    EXPECT_EQ(CountLines(tracking.runtime.Log(), "Setting calibrationHeadRigidBodyInDevice unusable"), 1u)
        << tracking.runtime.Log();
    ASSERT_TRUE(tracking.runtime.RunUntil(
        [&] { return (ReadHeadPose(*tracking.system, tracking.head).position - uncalibrated.position).norm() < 0.05; },
        5.0));
    const sHeadPose identity = settledHead();
    EXPECT_LT((identity.position - uncalibrated.position).norm(), 1e-4);
    EXPECT_LT(Degrees(identity.orientation, uncalibrated.orientation), 0.01);

    // A live recording: its folder, each device's raw data file, and the calibration in force beside it.
    reload("0,0,0,0,0,50");
    const nlohmann::json started = Ask(*tracking.debug, tracking.head, "halvex/1 record start");
    ASSERT_EQ(started["ok"], true) << started.dump();
#if defined(_WIN32)
    // Windows keeps recordings machine-wide, outside the state folder the test gives.
    const std::filesystem::path logs =
        std::filesystem::u8path(halvex::platform::RecordingLogFolder()).parent_path();
#else
    const std::filesystem::path logs = state.Root() / "Halvex" / "OpenVR Driver" / "Logs";
#endif
    ASSERT_TRUE(started["folder"].is_string()) << started.dump();
    const std::filesystem::path folder = std::filesystem::u8path(started["folder"].get<std::string>());
    EXPECT_TRUE(folder.is_absolute());
    // The files come with the recording thread, perhaps after the answer: named, not yet there.
    EXPECT_EQ(folder.lexically_normal(), (logs / "").lexically_normal());
    ASSERT_EQ(started["devices"].size(), 2u);
    for (const nlohmann::json& device : started["devices"]) {
        ASSERT_TRUE(device["rawDataFile"].is_string()) << started.dump();
        const std::filesystem::path raw = std::filesystem::u8path(device["rawDataFile"].get<std::string>());
        EXPECT_TRUE(raw.is_absolute());
        EXPECT_EQ(raw.parent_path().lexically_normal(), logs.lexically_normal());
        const std::string name = raw.filename().string();
        ASSERT_GT(name.size(), 12u);
        ASSERT_EQ(name.substr(name.size() - 12), "_rawdata.csv");
        const std::filesystem::path calibrationFile =
            raw.parent_path() / (name.substr(0, name.size() - 12) + "_calibration.txt");
        ASSERT_TRUE(tracking.runtime.RunUntil(
            [&] { return std::filesystem::exists(raw) && std::filesystem::exists(calibrationFile); }, 5.0))
            << raw;
        halvex::sDeviceCalibration written;
        long line = 0;
        std::string reason;
        ASSERT_TRUE(halvex::ParseCalibrationFile(halvex::test::ReadText(calibrationFile), written, line, reason))
            << line << ": " << reason;
        EXPECT_NEAR(written.rigidBodyInDevice.translation().z(), device["role"] == "head" ? 0.050 : 0.0, 1e-12);
    }
    EXPECT_EQ(Ask(*tracking.debug, tracking.head, "halvex/1 record stop")["ok"], true);
    tracking.runtime.Stop();
}

TEST(ClientRequests, AReloadedRigidBodyIdIsSubscribedAndFollowedWithoutARestart) {
    cPrivateStateFolder state;
    const std::filesystem::path settingsFile = state.Root() / "vrhost.vrsettings";
    WriteText(settingsFile, R"({"driver_halvex": {"tessalyRigidBodyIdHead": 3, "trackingType": "HalvexOnly"}})");
    tessaly::server::sRigidBodyPose pose;
    pose.position[1] = 1.6f;
    const auto server = StartStillServer(pose, {3});
    ASSERT_NE(server, nullptr);
    // Another body a metre away, which the driver has not subscribed.
    pose.position[0] = 1.0f;
    server->SetRigidBody(4, pose);

    sTrackingRuntime tracking(settingsFile);
    ASSERT_TRUE(tracking.Start());
    const Eigen::Vector3d before = ReadHeadPose(*tracking.system, tracking.head).position;

    vr::EVRSettingsError settingsError = vr::VRSettingsError_None;
    vr::VRSettings()->SetInt32("driver_halvex", "tessalyRigidBodyIdHead", 4, &settingsError);
    vr::VRSettings()->SetInt32("driver_halvex", "tessalyRigidBodyIdControllerA", 8, &settingsError);
    ASSERT_EQ(settingsError, vr::VRSettingsError_None);
    const nlohmann::json reloaded = Ask(*tracking.debug, tracking.head, "halvex/1 reload");
    ASSERT_EQ(reloaded["devices"].size(), 1u) << "a slot is enabled only by a restart: " << reloaded.dump();
    EXPECT_EQ(reloaded["devices"][0]["rigidBodyId"], 4);
    EXPECT_EQ(CountLines(tracking.runtime.Log(),
                         "tessalyRigidBodyIdControllerA: enabling the slot halvex-controller-a takes a restart"),
              1u)
        << tracking.runtime.Log();
    // The new body reaches the driver only once the watchdog has subscribed it.
    ASSERT_TRUE(tracking.runtime.RunUntil(
        [&] {
            vr::TrackedDevicePose_t poses[vr::k_unMaxTrackedDeviceCount];
            tracking.system->GetDeviceToAbsoluteTrackingPose(vr::TrackingUniverseStanding, 0.0f, poses,
                                                             vr::k_unMaxTrackedDeviceCount);
            return poses[tracking.head].bPoseIsValid &&
                   std::fabs((ReadHeadPose(*tracking.system, tracking.head).position - before).norm() - 1.0) < 0.01;
        },
        10.0))
        << tracking.runtime.Log();
    EXPECT_EQ(CountLines(tracking.runtime.Log(), "Rigid body IDs reloaded: subscribing anew"), 1u);
    EXPECT_EQ(Ask(*tracking.debug, tracking.head, "halvex/1 status")["devices"][0]["rigidBodyId"], 4);
    tracking.runtime.Stop();
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
