// Which IMU streams a session serves: the driver's path rules, and the streams
// and truth bodies that the settings ("TrackingOverrides", rigid body IDs) call for.
#include "vrhost/world/imu_stream_paths.h"
#include "vrhost/interfaces/io_buffer.h"
#include "vrhost/interfaces/property_store.h"
#include "vrhost/interfaces/settings_store.h"
#include "vrhost/world/simulated_world.h"

#include "platform/clock.h"

#include <gtest/gtest.h>

#include <algorithm>

namespace {

TEST(ImuStreamPathsTest, OverrideValuesMapAsTheDriverMapsThem) {
    EXPECT_EQ(vrhost::HeadsetImuStreamPath("LHR-1234"), "/devices/lighthouse/LHR-1234/imu");
    // The 28-character prefix is replaced; whatever follows is kept as it is.
    EXPECT_EQ(vrhost::ImuStreamPathForOverride("/devices/htc/vive_controllerLHR-ABCD"),
              "/devices/lighthouse/LHR-ABCD/imu");
    EXPECT_EQ(vrhost::ImuStreamPathForOverride("/devices/htc/vive_controller/LHR-ABCD"),
              "/devices/lighthouse//LHR-ABCD/imu");
    EXPECT_EQ(vrhost::ImuStreamPathForOverride("/devices/htc/vive_controller"), "/devices/lighthouse//imu");
    EXPECT_EQ(vrhost::ImuStreamPathForOverride("/user/hand/left"), "/user/hand/left/imu");
    EXPECT_EQ(vrhost::ImuStreamPathForOverride("/devices/htc/vive_tracker"), "/devices/htc/vive_tracker/imu");
    EXPECT_EQ(vrhost::ImuStreamPathForOverride("/devices/htc/vive_controlle"), "/devices/htc/vive_controlle/imu");

    EXPECT_EQ(vrhost::SerialOfDevicePath("/devices/halvex/halvex-controller-a", "halvex").value_or("?"),
              "halvex-controller-a");
    EXPECT_FALSE(vrhost::SerialOfDevicePath("/devices/other/halvex-controller-a", "halvex"));
    EXPECT_FALSE(vrhost::SerialOfDevicePath("/devices/halvex/", "halvex"));
    EXPECT_FALSE(vrhost::SerialOfDevicePath("/devices/halvex/a/b", "halvex"));
    EXPECT_FALSE(vrhost::SerialOfDevicePath("/user/head", "halvex"));
}

std::vector<std::string> StreamPaths(const vrhost::cSimulatedWorld& world) {
    std::vector<std::string> paths;
    for (const auto& stats : world.StreamStats()) paths.push_back(stats.path + " " + stats.device);
    std::sort(paths.begin(), paths.end());
    return paths;
}

TEST(ImuStreamPathsTest, WorldServesTheHeadsetAndEachOverriddenController) {
    vrhost::cSettingsStore settings;
    std::string error;
    vrhost::SettingsDocument user;
    ASSERT_TRUE(vrhost::ParseSettingsJson(R"({
        "driver_halvex": {"tessalyRigidBodyIdHead": 3, "tessalyRigidBodyIdControllerA": 4,
                          "tessalyRigidBodyIdControllerB": 5},
        "TrackingOverrides": {
            "/devices/halvex/halvex-controller-a": "/devices/htc/vive_controllerLHR-AAAA",
            "/devices/halvex/halvex-controller-b": "/user/hand/right",
            "/devices/other/halvex-controller-b": "/user/hand/left",
            "/devices/halvex/halvex-unknown": "/user/waist"}})",
                                          user, error))
        << error;
    settings.SetUserSettings(user);

    vrhost::sHostOptions options;
    options.scenario = "walk";
    options.hmdSerial = "LHR-HEAD";
    options.imuDelaySeconds = 0.5;
    vrhost::cPropertyStore properties;
    vrhost::cIOBuffer io;
    vrhost::cSimulatedWorld world(options, "halvex", settings, properties, io);
    EXPECT_EQ(StreamPaths(world), (std::vector<std::string>{"/devices/lighthouse/LHR-AAAA/imu halvex-controller-a",
                                                            "/devices/lighthouse/LHR-HEAD/imu halvex-head",
                                                            "/user/hand/right/imu halvex-controller-b"}));

    // Nothing opens before the session starts, then not before the delay has passed.
    vr::IOBufferHandle_t handle = 0;
    EXPECT_EQ(io.Open("/user/hand/right/imu", vr::IOBufferMode_Read, 64, 0, &handle), vr::IOBuffer_PathDoesNotExist);
    world.Start(halvex::platform::NowSeconds() - 1.0);
    EXPECT_EQ(io.Open("/user/hand/right/imu", vr::IOBufferMode_Read, 64, 0, &handle), vr::IOBuffer_Success);
    world.Stop();

    // An empty slot has no device and no stream; a headset that is not a
    // Lighthouse one has no stream either.
    vr::EVRSettingsError settingsError = vr::VRSettingsError_None;
    settings.SetInt32("driver_halvex", "tessalyRigidBodyIdControllerA", 0, &settingsError);
    ASSERT_EQ(settingsError, vr::VRSettingsError_None);
    options.hmdTrackingSystem = std::string("oculus");
    vrhost::cIOBuffer io2;
    vrhost::cSimulatedWorld oculusWorld(options, "halvex", settings, properties, io2);
    EXPECT_EQ(StreamPaths(oculusWorld), (std::vector<std::string>{"/user/hand/right/imu halvex-controller-b"}));
}

}  // namespace
