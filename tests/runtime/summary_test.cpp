#include "vrhost/accuracy/summary.h"
#include "vrhost/accuracy/summary_reader.h"

#include <gtest/gtest.h>

#include <cmath>

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

namespace {

TEST(SummaryTest, ScenarioAccuracyAndImuStreamLinesReadBack) {
    vrhost::sSummaryData data;
    data.driverName = "halvex";
    data.scenario = "head-turns";
    data.settleSeconds = 1.0;
    vrhost::sAccuracyReport report;
    report.index = 2;
    report.serial = "halvex-controller-a";
    report.rigidBodyId = 4;
    report.imuStream = true;
    report.validPoses = 2000;
    report.samples = 1800;
    report.updatesPerSecond = 180.04;
    report.poseAgeMeanMs = 12.34567;
    report.poseAgeP99Ms = 14.0;
    report.positionRmsMm = 1.23456;
    report.positionP99Mm = 3.5;
    report.orientationRmsDeg = 0.123456;
    report.orientationP99Deg = 0.5;
    data.accuracy.push_back(report);
    data.accuracy.push_back(vrhost::sAccuracyReport{});  // nothing compared yet: NaNs
    data.accuracy.back().index = 3;
    vrhost::sImuStreamStats stream;
    stream.path = "/devices/lighthouse/LHR-1 x/imu";
    stream.device = "halvex-head";
    stream.produced = 10;
    stream.read = 7;
    stream.dropped = 2;
    stream.pending = 1;
    stream.readCalls = 30;
    stream.polls = 20;
    stream.pollMedianMs = 0.51234;
    stream.pollP99Ms = 0.9;
    data.imuStreams.push_back(stream);

    const auto lines = vrhost::ReadSummary(vrhost::FormatSummary(data));
    const auto scenario = vrhost::SelectLines(lines, "scenario");
    ASSERT_EQ(scenario.size(), 1u);
    EXPECT_EQ(scenario[0].Get("name"), "head-turns");
    EXPECT_EQ(scenario[0].Number("settleSeconds"), 1.0);

    const auto accuracy = vrhost::SelectLines(lines, "accuracy", "index", "2");
    ASSERT_EQ(accuracy.size(), 1u);
    const vrhost::sSummaryLine& a = accuracy[0];
    EXPECT_EQ(a.Get("serial"), "halvex-controller-a");
    EXPECT_EQ(a.Get("rigidBody"), "4");
    EXPECT_EQ(a.Get("imuStream"), "1");
    EXPECT_EQ(a.Number("validPoses"), 2000.0);
    EXPECT_EQ(a.Number("samples"), 1800.0);
    EXPECT_EQ(a.Number("updatesPerSecond"), 180.0);
    EXPECT_EQ(a.Number("poseAgeMeanMs"), 12.346);  // fixed decimals
    EXPECT_EQ(a.Number("poseAgeP99Ms"), 14.0);
    EXPECT_EQ(a.Number("positionRmsMm"), 1.235);
    EXPECT_EQ(a.Number("positionP99Mm"), 3.5);
    EXPECT_EQ(a.Number("orientationRmsDeg"), 0.1235);
    EXPECT_EQ(a.Number("orientationP99Deg"), 0.5);
    EXPECT_TRUE(std::isnan(a.Number("missing")));
    EXPECT_TRUE(std::isnan(a.Number("serial")));
    const auto empty = vrhost::SelectLines(lines, "accuracy", "index", "3");
    ASSERT_EQ(empty.size(), 1u);
    EXPECT_EQ(empty[0].Get("positionRmsMm"), "nan");

    const auto streams = vrhost::SelectLines(lines, "imustream");
    ASSERT_EQ(streams.size(), 1u);
    const vrhost::sSummaryLine& s = streams[0];
    EXPECT_EQ(s.Get("path"), "/devices/lighthouse/LHR-1 x/imu");
    EXPECT_EQ(s.Get("device"), "halvex-head");
    EXPECT_EQ(s.Number("produced"), 10.0);
    EXPECT_EQ(s.Number("read"), 7.0);
    EXPECT_EQ(s.Number("dropped"), 2.0);
    EXPECT_EQ(s.Number("pending"), 1.0);
    EXPECT_EQ(s.Number("reads"), 30.0);
    EXPECT_EQ(s.Number("polls"), 20.0);
    EXPECT_EQ(s.Number("pollMedianMs"), 0.5123);
    EXPECT_EQ(s.Number("pollP99Ms"), 0.9);

    // Without a scenario none of these lines appear.
    data.scenario.reset();
    const auto plain = vrhost::ReadSummary(vrhost::FormatSummary(data));
    EXPECT_TRUE(vrhost::SelectLines(plain, "accuracy").empty());
    EXPECT_TRUE(vrhost::SelectLines(plain, "imustream").empty());
    EXPECT_TRUE(vrhost::SelectLines(plain, "scenario").empty());
}

}  // namespace
