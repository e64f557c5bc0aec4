#include "vrhost/summary.h"
#include "vrhost/summary_reader.h"

#include <gtest/gtest.h>

namespace {

TEST(SummaryTest, FormatReadsBackFieldByField) {
    vrhost::sSummaryData data;
    data.driverName = "halvex";
    data.library = "/some path/driver_halvex.so";
    data.initCalled = true;
    data.initResult = vr::VRInitError_Init_NotInitialized;
    data.hmdTrackingSystem.reset();
    data.hmdSerial = "LHR-1";
    vrhost::sDeviceRecord device;
    device.index = 1;
    device.serial = "halvex \"head\"";
    device.deviceClass = vr::TrackedDeviceClass_GenericTracker;
    device.activated = true;
    device.poseUpdates = 3;
    device.hasLastPose = true;
    device.lastPose.pose.vecPosition[0] = 1.5;
    device.lastPose.pose.qRotation = {1, 0, 0, 0};
    device.lastPose.world.position[2] = -2.25;
    data.devices.push_back(device);
    vrhost::sPropertyRecord model;
    model.prop = vr::Prop_ModelNumber_String;
    model.tag = vr::k_unStringPropertyTag;
    const char text[] = "Model 1 = x";
    model.bytes.assign(text, text + sizeof(text));
    model.driverWrites = 1;
    data.deviceProperties.push_back({model});

    // Log text before the summary must not confuse the reader.
    const auto lines = vrhost::ReadSummary("fake: device index=9\n" + vrhost::FormatSummary(data));
    const auto init = vrhost::SelectLines(lines, "init");
    ASSERT_EQ(init.size(), 1u);
    EXPECT_EQ(init[0].Get("result"), "109");
    EXPECT_EQ(init[0].Get("name"), "VRInitError_Init_NotInitialized");
    EXPECT_EQ(vrhost::SelectLines(lines, "driver")[0].Get("library"), "/some path/driver_halvex.so");
    EXPECT_EQ(vrhost::SelectLines(lines, "hmd")[0].Get("trackingSystem"), "unset");

    const auto devices = vrhost::SelectLines(lines, "device");
    ASSERT_EQ(devices.size(), 1u);
    EXPECT_EQ(devices[0].Get("serial"), "halvex \"head\"");
    EXPECT_EQ(devices[0].Get("class"), "GenericTracker");
    EXPECT_EQ(devices[0].Get("activate"), "0");
    const auto props = vrhost::SelectLines(lines, "property", "index", "1");
    ASSERT_EQ(props.size(), 1u);
    EXPECT_EQ(props[0].Get("name"), "Prop_ModelNumber_String");
    EXPECT_EQ(props[0].Get("value"), "Model 1 = x");
    EXPECT_EQ(props[0].Get("writes"), "1");
    EXPECT_EQ(vrhost::SelectLines(lines, "poses", "index", "1")[0].Get("count"), "3");
    const auto last = vrhost::SelectLines(lines, "lastpose");
    ASSERT_EQ(last.size(), 1u);
    EXPECT_EQ(last[0].Get("position"), "1.5,0,0");
    EXPECT_EQ(last[0].Get("worldPosition"), "0,0,-2.25");
    EXPECT_EQ(vrhost::SelectLines(lines, "rejected")[0].Get("poses"), "0");
}

}  // namespace
