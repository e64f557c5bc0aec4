// The truth comparison: a pose built from the geometry exactly as the driver
// builds it must show no error, a wrong one a large error; settling, validity
// and the statistics.
#include "vrhost/host/host.h"
#include "vrhost/host/host_error.h"
#include "vrhost/accuracy/quantile_histogram.h"
#include "vrhost/host/server_driver_host.h"
#include "vrhost/accuracy/summary_reader.h"
#include "vrhost/accuracy/truth_comparison.h"

#include "platform/clock.h"
#include "platform/sleep.h"
#include "sim/motion_scenario.h"
#include "sim/tracking_geometry.h"
#include "idle_device.h"
#include "test_files.h"

#include <gtest/gtest.h>

#include <cmath>
#include <memory>

namespace {

const Eigen::Isometry3d kAlignment(sim::WorldFromTracking());

// What the Lighthouse device reports for rigid body pose R: the pose of the
// frame R * alignment * imuToHead, with the head offset undoing imuToHead.
vr::DriverPose_t DriverPose(const Eigen::Isometry3d& rigidBody, const Eigen::Isometry3d& imuToHead,
                            const Eigen::Isometry3d& driverFromHead, double poseTimeOffset) {
    const Eigen::Isometry3d body = rigidBody * kAlignment * imuToHead;
    vr::DriverPose_t pose{};
    const Eigen::Quaterniond a = sim::WorldFromTracking();
    pose.qWorldFromDriverRotation = {a.w(), a.x(), a.y(), a.z()};
    const Eigen::Quaterniond q(body.rotation());
    pose.qRotation = {q.w(), q.x(), q.y(), q.z()};
    const Eigen::Quaterniond d(driverFromHead.rotation());
    pose.qDriverFromHeadRotation = {d.w(), d.x(), d.y(), d.z()};
    for (int i = 0; i < 3; ++i) {
        pose.vecPosition[i] = body.translation()[i];
        pose.vecDriverFromHeadTranslation[i] = driverFromHead.translation()[i];
    }
    pose.poseTimeOffset = poseTimeOffset;
    pose.poseIsValid = true;
    pose.deviceIsConnected = true;
    pose.result = vr::TrackingResult_Running_OK;
    return pose;
}

// A controller's fixed mounting offset (no IMU stream): 45 degrees about x, 4 cm up, 5 cm back.
Eigen::Isometry3d ControllerMount() {
    return sim::ToIsometry(Eigen::Vector3d(0.0, 0.04, -0.05), Eigen::Quaterniond(0.9238795, 0.3826834, 0.0, 0.0));
}

vrhost::sPoseUpdate Update(vr::TrackedDeviceIndex_t index, double hostTime, const vr::DriverPose_t& pose) {
    vrhost::sPoseUpdate update;
    update.hostTime = hostTime;
    update.deviceIndex = index;
    update.pose = pose;
    update.world = vrhost::WorldPoseOf(pose);
    return update;
}

TEST(TruthComparisonTest, GeometryOfTheDriverGivesNoErrorAndMistakesShow) {
    vrhost::cTruthComparison truth("head-turns", 0.5);
    truth.AddBody("halvex-head", 3, true);
    truth.AddBody("halvex-controller-a", 4, false);
    truth.AddBody("halvex-controller-b", 5, false);
    const auto head = sim::cMotionScenario::Create("head-turns", sim::SeedForRigidBody(3));
    const auto controller = sim::cMotionScenario::Create("head-turns", sim::SeedForRigidBody(4));
    const Eigen::Isometry3d imuToHead = sim::HeadsetImuToHead();

    const double start = 5000.0;
    for (int i = 0; i < 400; ++i) {
        const double hostTime = start + i * 0.005;
        const double poseTime = hostTime - 0.012;
        // Head: the IMU frame's pose with the stream's transform undone in the head offset.
        const Eigen::Isometry3d headBody = sim::StreamedRigidBodyPose(head->At(poseTime));
        truth.OnPoseUpdate("halvex-head",
                           Update(1, hostTime, DriverPose(headBody, imuToHead, imuToHead.inverse(), -0.012)));
        // Controller A without a stream: the optical frame with its own mounting offset.
        const Eigen::Isometry3d controllerBody = sim::StreamedRigidBodyPose(controller->At(poseTime));
        truth.OnPoseUpdate("halvex-controller-a", Update(2, hostTime,
                                                         DriverPose(controllerBody, Eigen::Isometry3d::Identity(),
                                                                    ControllerMount(), -0.012)));
        // Controller B is reported with A's motion: the wrong body.
        truth.OnPoseUpdate("halvex-controller-b", Update(3, hostTime,
                                                         DriverPose(controllerBody, Eigen::Isometry3d::Identity(),
                                                                    ControllerMount(), -0.012)));
    }
    const std::vector<vrhost::sAccuracyReport> reports = truth.Reports();
    ASSERT_EQ(reports.size(), 3u);
    for (int k = 0; k < 2; ++k) {
        const vrhost::sAccuracyReport& r = reports[static_cast<size_t>(k)];
        SCOPED_TRACE(r.serial);
        EXPECT_EQ(r.index, static_cast<vr::TrackedDeviceIndex_t>(k + 1));
        EXPECT_EQ(r.validPoses, 400u);
        EXPECT_NEAR(static_cast<double>(r.samples), 300.0, 1.0);  // the first half second settles
        EXPECT_NEAR(r.updatesPerSecond, 200.0, 0.01);
        EXPECT_NEAR(r.poseAgeMeanMs, 12.0, 1e-6);
        EXPECT_NEAR(r.poseAgeP99Ms, 12.0, 0.1);
        EXPECT_LT(r.positionRmsMm, 1e-6);
        EXPECT_LT(r.positionP99Mm, 1e-6);
        EXPECT_LT(r.orientationRmsDeg, 1e-6);
        EXPECT_LT(r.orientationMedianDeg, 1e-5);
        EXPECT_LT(r.orientationP99Deg, 1e-5);
    }
    EXPECT_GT(reports[2].positionRmsMm, 10.0);
    EXPECT_GT(reports[2].orientationRmsDeg, 1.0);
    EXPECT_GT(reports[2].orientationMedianDeg, 0.5);
    EXPECT_LT(reports[2].orientationMedianDeg, reports[2].orientationP99Deg);
}

TEST(TruthComparisonTest, WrongHeadOffsetOrWrongTimeShowsAsError) {
    const auto head = sim::cMotionScenario::Create("fast", sim::SeedForRigidBody(3));
    const Eigen::Isometry3d imuToHead = sim::HeadsetImuToHead();
    struct sCase {
        const char* name;
        Eigen::Isometry3d driverFromHead;
        double claimedAge;  // what the pose says; the data is 12 ms old
        double minPositionMm, minOrientationDeg;
    };
    const sCase cases[] = {
        {"head offset left out", Eigen::Isometry3d::Identity(), 0.012, 50.0, 2.0},
        {"head offset applied twice", imuToHead.inverse() * imuToHead.inverse(), 0.012, 50.0, 2.0},
        {"dated 50 ms too late", imuToHead.inverse(), -0.038, 5.0, 2.0},
    };
    for (const sCase& c : cases) {
        SCOPED_TRACE(c.name);
        vrhost::cTruthComparison truth("fast", 0.0);
        truth.AddBody("halvex-head", 3, true);
        for (int i = 0; i < 400; ++i) {
            const double hostTime = 7000.0 + i * 0.01;
            const Eigen::Isometry3d body = sim::StreamedRigidBodyPose(head->At(hostTime - 0.012));
            truth.OnPoseUpdate("halvex-head", Update(1, hostTime, DriverPose(body, imuToHead, c.driverFromHead,
                                                                             -c.claimedAge)));
        }
        const vrhost::sAccuracyReport r = truth.Reports().at(0);
        EXPECT_GT(r.positionRmsMm, c.minPositionMm);
        EXPECT_GT(r.orientationRmsDeg, c.minOrientationDeg);
        EXPECT_GE(r.positionP99Mm, r.positionRmsMm * 0.9);
    }
}

TEST(TruthComparisonTest, InvalidPosesAndUnknownDevicesDoNotCount) {
    vrhost::cTruthComparison truth("still", 1.0);
    truth.AddBody("halvex-head", 3, true);
    vr::DriverPose_t pose{};
    pose.qRotation = {1, 0, 0, 0};
    pose.qWorldFromDriverRotation = {1, 0, 0, 0};
    pose.qDriverFromHeadRotation = {1, 0, 0, 0};
    truth.OnPoseUpdate("halvex-head", Update(1, 100.0, pose));  // invalid: settling not started
    pose.poseIsValid = true;
    truth.OnPoseUpdate("halvex-head", Update(1, 102.0, pose));  // first valid: settles until 103
    truth.OnPoseUpdate("halvex-head", Update(1, 102.9, pose));
    truth.OnPoseUpdate("halvex-head", Update(1, 103.1, pose));
    truth.OnPoseUpdate("fake-0", Update(2, 103.2, pose));
    const auto reports = truth.Reports();
    ASSERT_EQ(reports.size(), 1u);
    EXPECT_EQ(reports[0].validPoses, 3u);
    EXPECT_EQ(reports[0].samples, 1u);
    EXPECT_EQ(reports[0].updatesPerSecond, 0.0);  // one sample gives no rate
    EXPECT_THROW(vrhost::cTruthComparison("no-such-scenario", 1.0), vrhost::cHostError);
}

TEST(QuantileHistogramTest, QuantilesWithinTheResolution) {
    vrhost::cQuantileHistogram h;
    EXPECT_TRUE(std::isnan(h.Quantile(0.5)));
    for (int i = 1; i <= 1000; ++i) h.Add(i * 0.01);  // 0.01 .. 10
    h.Add(std::nan(""));
    EXPECT_EQ(h.Count(), 1000u);
    EXPECT_NEAR(h.Quantile(0.5), 5.0, 5.0 * 0.006);
    EXPECT_NEAR(h.Quantile(0.99), 9.9, 9.9 * 0.006);
    EXPECT_DOUBLE_EQ(h.Quantile(1.0), 10.0);
    EXPECT_DOUBLE_EQ(h.Quantile(0.0), 0.01);
    EXPECT_NEAR(h.Mean(), 5.005, 1e-9);
    EXPECT_NEAR(h.Rms(), std::sqrt(33.383350), 1e-4);

    vrhost::cQuantileHistogram signedValues;
    for (const double v : {-3.0, -2.0, -1.0, 0.0, 1.0}) signedValues.Add(v);
    EXPECT_NEAR(signedValues.Quantile(0.2), -3.0, 0.02);
    EXPECT_NEAR(signedValues.Quantile(0.5), -1.0, 0.01);
    EXPECT_DOUBLE_EQ(signedValues.Quantile(0.8), 0.0);
}

// Through the host as a driver submits: the truth is taken at host time plus the
// pose's offset, and the summary carries the result.
TEST(TruthComparisonTest, HostComparesSubmittedPosesWithTheTruth) {
    vrhost_test::cScratchFolder scratch;
    vrhost::sHostOptions options;
    options.scenario = "head-turns";
    options.settleSeconds = 0.05;
    options.settingsFile = scratch
                               .Write("steamvr.vrsettings",
                                      R"({"driver_fake": {"deviceCount": 0},
                                          "driver_halvex": {"tessalyRigidBodyIdHead": 3, "tessalyRigidBodyIdControllerA": 4}})")
                               .u8string();
    vrhost::cHost host(options);
    host.LoadDriver(vrhost_test::FakeDriverFolder().u8string());
    ASSERT_EQ(host.Init(), vr::VRInitError_None);
    vrhost_test::cIdleDevice headDevice, controllerDevice;
    vrhost::cServerDriverHost& server = host.ServerDriverHost();
    ASSERT_TRUE(server.TrackedDeviceAdded("halvex-head", vr::TrackedDeviceClass_GenericTracker, &headDevice));
    ASSERT_TRUE(server.TrackedDeviceAdded("halvex-controller-a", vr::TrackedDeviceClass_GenericTracker, &controllerDevice));
    EXPECT_EQ(server.Device(1), &headDevice);
    EXPECT_EQ(server.Device(2), &controllerDevice);
    EXPECT_EQ(server.Device(0), nullptr);
    EXPECT_EQ(server.Device(3), nullptr);

    const auto head = sim::cMotionScenario::Create("head-turns", sim::SeedForRigidBody(3));
    const Eigen::Isometry3d imuToHead = sim::HeadsetImuToHead();
    const double end = halvex::platform::NowSeconds() + 0.3;
    while (halvex::platform::NowSeconds() < end) {
        const double poseTime = halvex::platform::NowSeconds() - 0.004;
        const Eigen::Isometry3d body = sim::StreamedRigidBodyPose(head->At(poseTime));
        // Dated by its offset from the moment of the call, as a driver does.
        const vr::DriverPose_t good =
            DriverPose(body, imuToHead, imuToHead.inverse(), poseTime - halvex::platform::NowSeconds());
        server.TrackedDevicePoseUpdated(1, good, sizeof(good));
        // The controller is in the stream-less geometry but reports the head's body: wrong.
        const vr::DriverPose_t wrong = DriverPose(body, Eigen::Isometry3d::Identity(), ControllerMount(), -0.004);
        server.TrackedDevicePoseUpdated(2, wrong, sizeof(wrong));
        halvex::platform::SleepFor(0.002);
    }
    host.Cleanup();

    const auto lines = vrhost::ReadSummary(host.Summary());
    const auto scenario = vrhost::SelectLines(lines, "scenario");
    ASSERT_EQ(scenario.size(), 1u);
    EXPECT_EQ(scenario[0].Get("name"), "head-turns");
    const auto headLine = vrhost::SelectLines(lines, "accuracy", "serial", "halvex-head");
    ASSERT_EQ(headLine.size(), 1u);
    EXPECT_EQ(headLine[0].Get("index"), "1");
    EXPECT_EQ(headLine[0].Get("imuStream"), "1");  // the simulated Lighthouse headset has one
    EXPECT_GT(headLine[0].Number("samples"), 30.0);
    EXPECT_GT(headLine[0].Number("updatesPerSecond"), 50.0);
    EXPECT_NEAR(headLine[0].Number("poseAgeMeanMs"), 4.0, 1.0);
    // Only the few microseconds between dating the pose and its receipt remain.
    EXPECT_LT(headLine[0].Number("positionRmsMm"), 0.5);
    EXPECT_LT(headLine[0].Number("orientationP99Deg"), 0.2);
    const auto controllerLine = vrhost::SelectLines(lines, "accuracy", "serial", "halvex-controller-a");
    ASSERT_EQ(controllerLine.size(), 1u);
    EXPECT_EQ(controllerLine[0].Get("imuStream"), "0");
    EXPECT_GT(controllerLine[0].Number("positionRmsMm"), 10.0);
    const auto streams = vrhost::SelectLines(lines, "imustream");
    ASSERT_EQ(streams.size(), 1u);
    EXPECT_EQ(streams[0].Get("path"), "/devices/lighthouse/LHR-VRHOST00/imu");
    EXPECT_EQ(streams[0].Get("produced"), "0");  // nobody read it
    EXPECT_TRUE(std::isnan(streams[0].Number("pollMedianMs")));
}

}  // namespace
