// Whole sessions: the fake driver loaded into cHost in-process, as the runtime
// would load it, talking through every host interface from its own threads.
#include "vrhost/host/driver_context.h"
#include "vrhost/host/host.h"
#include "vrhost/accuracy/pose_csv_writer.h"
#include "vrhost/accuracy/summary_reader.h"

#include "platform/clock.h"
#include "test_files.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <cmath>
#include <sstream>
#include <thread>

namespace {

namespace fs = std::filesystem;
using vrhost_test::cScratchFolder;

bool HasMessage(const std::vector<std::string>& log, const std::string& message) {
    return std::find(log.begin(), log.end(), message) != log.end();
}

size_t IndexOf(const std::vector<std::string>& log, const std::string& prefix) {
    for (size_t i = 0; i < log.size(); ++i) {
        if (log[i].rfind(prefix, 0) == 0) return i;
    }
    return log.size();
}

const vrhost::sPropertyRecord* FindProperty(const std::vector<vrhost::sPropertyRecord>& records,
                                            vr::ETrackedDeviceProperty prop) {
    for (const auto& record : records) {
        if (record.prop == prop) return &record;
    }
    return nullptr;
}

std::string StringValue(const vrhost::sPropertyRecord* record) {
    if (!record || record->tag != vr::k_unStringPropertyTag || record->bytes.empty()) return "<none>";
    return std::string(reinterpret_cast<const char*>(record->bytes.data()));
}

TEST(HostSessionTest, FakeDriverRunsThroughEveryHostInterface) {
    cScratchFolder scratch;
    vrhost::sHostOptions options;
    options.settingsFile =
        scratch.Write("steamvr.vrsettings", R"({"driver_fake": {"deviceCount": 3, "label": "from user"}})").u8string();
    options.logFile = (scratch.Path() / "driver.log").u8string();
    options.posesCsvFile = (scratch.Path() / "poses.csv").u8string();
    vrhost::cHost host(options);
    host.LoadDriver(vrhost_test::FakeDriverFolder().u8string());

    const double start = halvex::platform::NowSeconds();
    ASSERT_EQ(host.Init(), vr::VRInitError_None);

    // Registered in order from index 1 and activated once Init returned.
    auto devices = host.Devices();
    ASSERT_EQ(devices.size(), 3u);
    for (uint32_t i = 0; i < 3; ++i) {
        EXPECT_EQ(devices[i].index, i + 1);
        EXPECT_EQ(devices[i].serial, "fake-" + std::to_string(i));
        EXPECT_EQ(devices[i].deviceClass, vr::TrackedDeviceClass_GenericTracker);
        EXPECT_TRUE(devices[i].activated);
        EXPECT_EQ(devices[i].activateResult, vr::VRInitError_None);
        // GetPose went through the by-value slot (shimmed under MinGW) intact.
        ASSERT_TRUE(devices[i].hasInitialPose);
        EXPECT_EQ(devices[i].initialPose.poseTimeOffset, -0.125);
        EXPECT_EQ(devices[i].initialPose.vecPosition[0], static_cast<double>(i + 1));
        EXPECT_TRUE(devices[i].initialPose.deviceIsConnected);
    }

    // Queries from another thread while the driver's threads submit poses and log.
    std::atomic<bool> running{true};
    std::thread reader([&] {
        while (running.load()) {
            (void)host.PoseUpdates().size();
            (void)host.Devices();
            (void)host.Log();
            (void)host.Summary();
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        }
    });
    host.RunFor(0.3);
    running = false;
    reader.join();
    EXPECT_GE(host.FrameCount(), 10u);
    host.Cleanup();
    const double end = halvex::platform::NowSeconds();

    devices = host.Devices();
    uint64_t total = 0;
    for (const auto& device : devices) {
        EXPECT_GT(device.poseUpdates, 0u) << device.serial;
        EXPECT_TRUE(device.deactivated) << device.serial;
        total += device.poseUpdates;
    }
    const auto updates = host.PoseUpdates();
    ASSERT_EQ(updates.size(), total);
    std::vector<double> lastTime(4, 0.0);
    for (const auto& update : updates) {
        ASSERT_GE(update.deviceIndex, 1u);
        ASSERT_LE(update.deviceIndex, 3u);
        EXPECT_GE(update.hostTime, start);
        EXPECT_LE(update.hostTime, end);
        EXPECT_GE(update.hostTime, lastTime[update.deviceIndex]);
        lastTime[update.deviceIndex] = update.hostTime;
        // Half turn about y, then up 0.5: body (i, 1, 0) with the head 0.1 ahead on z.
        const double i = update.deviceIndex;
        EXPECT_NEAR(update.world.position[0], -i, 1e-12);
        EXPECT_NEAR(update.world.position[1], 1.5, 1e-12);
        EXPECT_NEAR(update.world.position[2], -0.1, 1e-12);
        EXPECT_NEAR(std::fabs(update.world.rotation[2]), 1.0, 1e-12);
    }
    EXPECT_EQ(host.RejectedPoseUpdates(), 0u);

    // Properties as written, with their type tags.
    const auto props = host.Properties(2);
    EXPECT_EQ(StringValue(FindProperty(props, vr::Prop_TrackingSystemName_String)), "fake");
    EXPECT_EQ(StringValue(FindProperty(props, vr::Prop_SerialNumber_String)), "fake-1");
    const auto* universe = FindProperty(props, vr::Prop_CurrentUniverseId_Uint64);
    ASSERT_NE(universe, nullptr);
    EXPECT_EQ(universe->tag, vr::k_unUint64PropertyTag);
    EXPECT_EQ(vrhost::FormatPropertyValue(*universe), "0x48414C5645584944");
    const auto* matrix = FindProperty(props, vr::Prop_ImuToHeadTransform_Matrix34);
    ASSERT_NE(matrix, nullptr);
    EXPECT_EQ(matrix->bytes.size(), sizeof(vr::HmdMatrix34_t));

    // What the driver saw, through its log.
    const auto log = host.Log();
    EXPECT_TRUE(HasMessage(log, "fake: Init\n"));
    EXPECT_TRUE(HasMessage(log, "fake: a message without a line end"));
    EXPECT_TRUE(HasMessage(log, "fake: hmd system 'lighthouse' error 0 first 3 needed 11\n"));
    EXPECT_TRUE(HasMessage(log, "fake: deviceCount 3 error 0\n"));  // user file over defaults
    EXPECT_TRUE(HasMessage(log, "fake: label 'from user' error 0\n"));
    EXPECT_TRUE(HasMessage(log, "fake: duplicate accepted 0\n"));
    EXPECT_FALSE(HasMessage(log, "fake: resource size 0\n"));
    // The runtime deactivates every device before the provider's Cleanup.
    EXPECT_LT(IndexOf(log, "fake: deactivated fake-2"), IndexOf(log, "fake: Cleanup after"));
    EXPECT_LT(IndexOf(log, "fake: Cleanup after"), log.size());

    host.UnloadDriver();
    // The log file holds exactly the bytes received.
    std::string concatenated;
    for (const auto& message : log) concatenated += message;
    EXPECT_EQ(vrhost_test::ReadText(scratch.Path() / "driver.log"), concatenated);

    // One CSV row per update, header first.
    std::istringstream csv(vrhost_test::ReadText(scratch.Path() / "poses.csv"));
    std::string line;
    ASSERT_TRUE(std::getline(csv, line));
    EXPECT_EQ(line, vrhost::cPoseCsvWriter::HeaderLine());
    size_t rows = 0;
    while (std::getline(csv, line)) {
        ++rows;
        if (rows == 1) {
            // No scenario: the nine truth columns stay empty.
            EXPECT_EQ(std::count(line.begin(), line.end(), ','), 35) << line;
            EXPECT_EQ(line.substr(line.size() - 9), std::string(9, ','));
        }
    }
    EXPECT_EQ(rows, updates.size());

    const auto summary = vrhost::ReadSummary(host.Summary());
    EXPECT_EQ(vrhost::SelectLines(summary, "init")[0].Get("result"), "0");
    EXPECT_EQ(vrhost::SelectLines(summary, "device").size(), 3u);
    EXPECT_EQ(vrhost::SelectLines(summary, "lastpose").size(), 3u);
    EXPECT_EQ(vrhost::SelectLines(summary, "property", "name", "Prop_SerialNumber_String").size(), 4u);
}

TEST(HostSessionTest, SimulatedHeadsetPropertiesFollowTheOptions) {
    {
        vrhost::sHostOptions options;
        options.hmdTrackingSystem.reset();
        vrhost::cHost host(options);
        host.LoadDriver(vrhost_test::FakeDriverFolder().u8string());
        host.Init();
        EXPECT_TRUE(HasMessage(host.Log(), "fake: hmd system '' error 4 first 4 needed 0\n"));
        EXPECT_EQ(FindProperty(host.Properties(0), vr::Prop_TrackingSystemName_String), nullptr);
    }
    vrhost::sHostOptions options;
    options.hmdTrackingSystem = "holographic";
    options.hmdSerial = "WMR-42";
    vrhost::cHost host(options);
    host.LoadDriver(vrhost_test::FakeDriverFolder().u8string());
    host.Init();
    EXPECT_TRUE(HasMessage(host.Log(), "fake: hmd system 'holographic' error 0 first 3 needed 12\n"));
    const auto props = host.Properties(0);
    EXPECT_EQ(StringValue(FindProperty(props, vr::Prop_SerialNumber_String)), "WMR-42");
    host.Cleanup();
}

TEST(HostSessionTest, WithheldInterfaceFailsInitAndNothingRuns) {
    vrhost::sHostOptions options;
    options.withheldInterfaces = {"IVRResources_001"};
    vrhost::cHost host(options);
    host.LoadDriver(vrhost_test::FakeDriverFolder().u8string());
    vr::EVRInitError error = vr::VRInitError_None;
    EXPECT_EQ(host.Context().GetGenericInterface("IVRResources_001", &error), nullptr);
    EXPECT_EQ(error, vr::VRInitError_Init_InterfaceNotFound);
    EXPECT_EQ(host.Init(), vr::VRInitError_Init_InterfaceNotFound);
    host.RunFrames(3);
    EXPECT_EQ(host.FrameCount(), 0u);
    EXPECT_TRUE(host.Devices().empty());
    host.Cleanup();
    EXPECT_EQ(vrhost::SelectLines(vrhost::ReadSummary(host.Summary()), "init")[0].Get("result"), "105");
}

TEST(HostSessionTest, FailedInitLeavesRegisteredDevicesInactive) {
    cScratchFolder scratch;
    vrhost::sHostOptions options;
    options.settingsFile =
        scratch.Write("s.vrsettings", R"({"driver_fake": {"failInit": true, "deviceCount": 1}})").u8string();
    vrhost::cHost host(options);
    host.LoadDriver(vrhost_test::FakeDriverFolder().u8string());
    EXPECT_EQ(host.Init(), vr::VRInitError_Init_NotInitialized);
    const auto devices = host.Devices();
    ASSERT_EQ(devices.size(), 1u);
    EXPECT_FALSE(devices[0].activated);
    EXPECT_EQ(devices[0].poseUpdates, 0u);
    host.Cleanup();
    const auto summary = vrhost::ReadSummary(host.Summary());
    EXPECT_EQ(vrhost::SelectLines(summary, "device")[0].Get("activate"), "none");
}

TEST(HostSessionTest, ContextAnswersByVersionAndResourcesStayInTheDriverFolder) {
    vrhost::cHost host;
    host.LoadDriver(vrhost_test::FakeDriverFolder().u8string());
    vr::IVRDriverContext& context = host.Context();
    vr::EVRInitError error = vr::VRInitError_Unknown;
    for (const char* version : {"IVRServerDriverHost_006", "IVRSettings_003", "IVRProperties_001", "IVRDriverLog_001",
                                "IVRDriverManager_001", "IVRResources_001"}) {
        EXPECT_NE(context.GetGenericInterface(version, &error), nullptr) << version;
        EXPECT_EQ(error, vr::VRInitError_None);
    }
    EXPECT_EQ(context.GetGenericInterface("IVRServerDriverHost_005", &error), nullptr);
    EXPECT_EQ(error, vr::VRInitError_Init_InterfaceNotFound);
    EXPECT_EQ(context.GetGenericInterface(nullptr, &error), nullptr);

    auto* manager = static_cast<vr::IVRDriverManager*>(context.GetGenericInterface("IVRDriverManager_001", nullptr));
    char name[8];
    EXPECT_EQ(manager->GetDriverName(0, name, sizeof(name)), 5u);
    EXPECT_STREQ(name, "fake");
    EXPECT_NE(context.GetDriverHandle(), vr::k_ulInvalidDriverHandle);
    EXPECT_EQ(manager->GetDriverHandle("fake"), context.GetDriverHandle());

    auto* resources = static_cast<vr::IVRResources*>(context.GetGenericInterface("IVRResources_001", nullptr));
    const std::string profile =
        vrhost_test::ReadText(vrhost_test::FakeDriverFolder() / "resources" / "input" / "fake_profile.json");
    std::string buffer(profile.size(), '\0');
    EXPECT_EQ(resources->LoadSharedResource("{fake}/input/fake_profile.json", buffer.data(),
                                            static_cast<uint32_t>(buffer.size())),
              profile.size());
    EXPECT_EQ(buffer, profile);
    EXPECT_EQ(resources->LoadSharedResource("{fake}/../driver.vrdrivermanifest", nullptr, 0), 0u);
    EXPECT_EQ(resources->LoadSharedResource("{other}/input/fake_profile.json", nullptr, 0), 0u);
    char path[8];
    const uint32_t needed = resources->GetResourceFullPath("fake_profile.json", "input", path, sizeof(path));
    EXPECT_GT(needed, sizeof(path));
    EXPECT_STREQ(path, "");
}

TEST(HostSessionTest, DriverLoadsAgainAfterUnload) {
    for (int round = 0; round < 2; ++round) {
        vrhost::cHost host;
        host.LoadDriver(vrhost_test::FakeDriverFolder().u8string());
        ASSERT_EQ(host.Init(), vr::VRInitError_None);
        host.RunFrames(2);
        EXPECT_EQ(host.Devices().size(), 2u);  // the default setting
        // Leaving scope cleans up and unloads.
    }
}

}  // namespace
