#include "vrhost/host/command_line.h"
#include "vrhost/accuracy/summary_reader.h"

#include "test_files.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <sstream>
#include <thread>

namespace {

using vrhost::sCommandLine;
using vrhost_test::cScratchFolder;

TEST(CommandLineTest, EveryOptionInBothSpellings) {
    sCommandLine line;
    std::string error;
    ASSERT_TRUE(vrhost::ParseCommandLine({"--driver", "d", "--settings=s.json", "--hmd", "oculus", "--hmd-serial=X1",
                                          "--duration", "2.5", "--poses", "p.csv", "--log=l.txt",
                                          "--without-interface", "IVRResources_001",
                                          "--without-interface=IVRDriverManager_001"},
                                         line, error))
        << error;
    EXPECT_EQ(line.driver, "d");
    EXPECT_EQ(line.host.settingsFile, "s.json");
    EXPECT_EQ(line.host.hmdTrackingSystem.value_or("?"), "oculus");
    EXPECT_EQ(line.host.hmdSerial, "X1");
    EXPECT_DOUBLE_EQ(line.durationSeconds, 2.5);
    EXPECT_EQ(line.host.posesCsvFile, "p.csv");
    EXPECT_EQ(line.host.logFile, "l.txt");
    EXPECT_EQ(line.host.withheldInterfaces,
              (std::vector<std::string>{"IVRResources_001", "IVRDriverManager_001"}));

    ASSERT_TRUE(vrhost::ParseCommandLine({"--driver", "d", "--hmd", "none"}, line, error));
    EXPECT_FALSE(line.host.hmdTrackingSystem.has_value());
    EXPECT_LT(line.durationSeconds, 0.0);  // until interrupted
    ASSERT_TRUE(vrhost::ParseCommandLine({"--driver", "d", "--hmd", "MyTracker"}, line, error));
    EXPECT_EQ(line.host.hmdTrackingSystem.value_or("?"), "MyTracker");
    ASSERT_TRUE(vrhost::ParseCommandLine({"--help"}, line, error));
    EXPECT_TRUE(line.help);
}

TEST(CommandLineTest, BadCommandLinesAreNamed) {
    sCommandLine line;
    std::string error;
    EXPECT_FALSE(vrhost::ParseCommandLine({"--driver", "d", "--bogus"}, line, error));
    EXPECT_EQ(error, "unknown option --bogus");
    EXPECT_FALSE(vrhost::ParseCommandLine({"--driver", "d", "extra"}, line, error));
    EXPECT_EQ(error, "unknown option extra");
    EXPECT_FALSE(vrhost::ParseCommandLine({"--driver"}, line, error));
    EXPECT_EQ(error, "option --driver needs a value");
    // Without --driver the driver comes from the path registry; an empty one is a mistake.
    EXPECT_FALSE(vrhost::ParseCommandLine({"--driver", ""}, line, error));
    EXPECT_EQ(error, "--driver needs a driver folder or library");
    ASSERT_TRUE(vrhost::ParseCommandLine({"--settings", "s"}, line, error));
    EXPECT_TRUE(line.driver.empty());
    for (const char* duration : {"abc", "-1", "1s", "", "inf", "nan"}) {
        EXPECT_FALSE(vrhost::ParseCommandLine({"--driver", "d", "--duration", duration}, line, error)) << duration;
    }
}

TEST(CommandLineTest, ScenarioAndImuOptions) {
    sCommandLine line;
    std::string error;
    ASSERT_TRUE(vrhost::ParseCommandLine({"--driver", "d", "--scenario", "walk", "--imu-delay=2.5", "--imu-gyro-bias",
                                          "0.1,-0.2,3e-3", "--imu-gyro-scale=1,2,0.5", "--imu-accel-bias", "0,0,0",
                                          "--imu-accel-scale", "-1,1,1.5", "--profile", "realistic"},
                                         line, error))
        << error;
    EXPECT_EQ(line.host.scenario, "walk");
    EXPECT_EQ(line.host.sensorProfile, sim::eSensorProfile::Realistic);
    EXPECT_DOUBLE_EQ(line.host.imuDelaySeconds, 2.5);
    const vrhost::sImuCalibrationOptions& c = line.host.imuCalibration;
    EXPECT_EQ(c.gyroBias.value_or(vrhost::Vector3{}), (vrhost::Vector3{0.1, -0.2, 3e-3}));
    EXPECT_EQ(c.gyroScale.value_or(vrhost::Vector3{}), (vrhost::Vector3{1.0, 2.0, 0.5}));
    EXPECT_EQ(c.accelBias.value_or(vrhost::Vector3{1, 1, 1}), (vrhost::Vector3{0.0, 0.0, 0.0}));
    EXPECT_EQ(c.accelScale.value_or(vrhost::Vector3{}), (vrhost::Vector3{-1.0, 1.0, 1.5}));
    ASSERT_TRUE(vrhost::ParseCommandLine({"--driver", "d"}, line, error));
    EXPECT_TRUE(line.host.scenario.empty());
    EXPECT_FALSE(line.host.imuCalibration.gyroScale.has_value());

    for (const char* triple : {"1,2", "1,2,3,4", "1,,3", "a,b,c", "1,2,nan", ""}) {
        EXPECT_FALSE(vrhost::ParseCommandLine({"--driver", "d", "--imu-gyro-bias", triple}, line, error)) << triple;
    }
    // The stream divides by a scale: zero is refused there, not for a bias.
    EXPECT_FALSE(vrhost::ParseCommandLine({"--driver", "d", "--imu-accel-scale", "1,0,1"}, line, error));
    EXPECT_NE(error.find("nonzero"), std::string::npos) << error;
    EXPECT_TRUE(vrhost::ParseCommandLine({"--driver", "d", "--imu-accel-bias", "1,0,1"}, line, error));
    EXPECT_FALSE(vrhost::ParseCommandLine({"--driver", "d", "--imu-delay", "-1"}, line, error));
    EXPECT_FALSE(vrhost::ParseCommandLine({"--driver", "d", "--scenario", "jog"}, line, error));
    EXPECT_EQ(error, "unknown scenario \"jog\" (known: still|head-turns|walk|fast|calibration)");
    EXPECT_FALSE(vrhost::ParseCommandLine({"--driver", "d", "--profile", "perfect"}, line, error));
    EXPECT_EQ(error, "unknown sensor profile \"perfect\" (known: ideal, realistic)");

    ASSERT_TRUE(vrhost::ParseCommandLine(
        {"--driver", "d", "--rigid-body-error", "1,2,3,10,20,30", "--latency-stamp-error", "1.5"}, line, error))
        << error;
    EXPECT_TRUE(line.host.sensorErrors.hasRigidBodyError);
    EXPECT_NEAR(line.host.sensorErrors.rigidBodyError.translation().z(), 0.030, 1e-15);
    EXPECT_DOUBLE_EQ(line.host.sensorErrors.latencyStampError, 0.0015);
    EXPECT_FALSE(vrhost::ParseCommandLine({"--driver", "d", "--rigid-body-error", "1,2,3"}, line, error));
    EXPECT_NE(error.find("--rigid-body-error"), std::string::npos) << error;

    // What a paired run of the mocap simulator hands on.
    ASSERT_TRUE(vrhost::ParseCommandLine(
        {"--driver", "d", "--scenario-epoch", "5123.25", "--imu-to-head-error", "0,0,0,0,0,0"}, line, error))
        << error;
    EXPECT_DOUBLE_EQ(line.host.scenarioEpoch, 5123.25);
    EXPECT_TRUE(line.host.sensorErrors.hasImuToHeadError);
    EXPECT_TRUE(line.host.sensorErrors.imuToHeadError.isApprox(Eigen::Isometry3d::Identity()));
    EXPECT_FALSE(vrhost::ParseCommandLine({"--driver", "d", "--scenario-epoch", "-2"}, line, error));
    EXPECT_NE(error.find("--scenario-epoch"), std::string::npos) << error;
}

TEST(CommandLineTest, DisplayPredictionAndDirectPosePrediction) {
    sCommandLine line;
    std::string error;
    ASSERT_TRUE(vrhost::ParseCommandLine({"--driver", "d"}, line, error));
    EXPECT_EQ(line.host.displayPredictionSeconds, 0.0);
    EXPECT_FALSE(line.host.predictDirectPoses);
    ASSERT_TRUE(vrhost::ParseCommandLine({"--driver", "d", "--display-prediction=0.011", "--predict-direct-poses"}, line,
                                         error))
        << error;
    EXPECT_DOUBLE_EQ(line.host.displayPredictionSeconds, 0.011);
    EXPECT_TRUE(line.host.predictDirectPoses);
    EXPECT_FALSE(vrhost::ParseCommandLine({"--driver", "d", "--display-prediction", "-0.01"}, line, error));
    EXPECT_FALSE(vrhost::ParseCommandLine({"--driver", "d", "--predict-direct-poses=yes"}, line, error));
}

int RunProgram(const std::vector<std::string>& args, std::string& out, std::string& err) {
    std::ostringstream outStream;
    std::ostringstream errStream;
    const int code = vrhost::RunVrhost(args, outStream, errStream, nullptr);
    out = outStream.str();
    err = errStream.str();
    return code;
}

TEST(CommandLineTest, WmrHeadsetOptions) {
    sCommandLine line;
    std::string error;
    ASSERT_TRUE(vrhost::ParseCommandLine({"--driver", "d", "--wmr-interface", "silent", "--wmr-extra-interfaces=2",
                                          "--wmr-drift-ppm", "-50", "--wmr-jitter-ms", "1.5", "--wmr-unplug-after", "3",
                                          "--wmr-unplug-for", "0.5"},
                                         line, error))
        << error;
    EXPECT_EQ(line.host.wmr.imuInterface, vrhost::sWmrHeadsetOptions::eInterface::Silent);
    EXPECT_EQ(line.host.wmr.extraInterfaces, 2);
    EXPECT_DOUBLE_EQ(line.host.wmr.clockDriftPpm, -50.0);
    EXPECT_DOUBLE_EQ(line.host.wmr.deliveryJitterSeconds, 0.0015);
    EXPECT_DOUBLE_EQ(line.host.wmr.unplugAfterSeconds, 3.0);
    EXPECT_DOUBLE_EQ(line.host.wmr.unplugForSeconds, 0.5);
    EXPECT_TRUE(line.host.wmr.replugRestartsClock);
    for (const auto& [option, value] : std::vector<std::pair<std::string, std::string>>{
             {"--wmr-interface", "maybe"}, {"--wmr-extra-interfaces", "1.5"}, {"--wmr-extra-interfaces", "9"},
             {"--wmr-drift-ppm", "nan"}, {"--wmr-jitter-ms", "-1"}, {"--wmr-unplug-after", "-1"},
             {"--wmr-unplug-for", "x"}, {"--wmr-speed", "1"}}) {
        error.clear();
        EXPECT_FALSE(vrhost::ParseCommandLine({"--driver", "d", option, value}, line, error)) << option << " " << value;
        EXPECT_NE(error.find(option), std::string::npos) << error;
    }
}

TEST(CommandLineTest, ProgramExitsWithOneLineErrors) {
    cScratchFolder scratch;
    std::string out, err;
    EXPECT_EQ(RunProgram({"--driver", "x", "--nope"}, out, err), vrhost::kExitUsage);
    EXPECT_EQ(err, "vrhost: unknown option --nope (try --help)\n");

    const auto settings = scratch.Write("bad.vrsettings", "{ \"driver_fake\": { \"deviceCount\": } }");
    EXPECT_EQ(RunProgram({"--driver", vrhost_test::FakeDriverFolder().u8string(), "--settings", settings.u8string()}, out, err),
              vrhost::kExitBadInput);
    EXPECT_NE(err.find("line 1, column 35"), std::string::npos) << err;
    EXPECT_EQ(std::count(err.begin(), err.end(), '\n'), 1) << err;
    EXPECT_EQ(out, "");

    EXPECT_EQ(RunProgram({"--driver", (scratch.Path() / "missing").u8string()}, out, err), vrhost::kExitBadInput);
    EXPECT_EQ(std::count(err.begin(), err.end(), '\n'), 1) << err;

    EXPECT_EQ(RunProgram({"--driver", "x", "--scenario", "nope"}, out, err), vrhost::kExitUsage);
    EXPECT_EQ(err, "vrhost: unknown scenario \"nope\" (known: still|head-turns|walk|fast|calibration) (try --help)\n");

    EXPECT_EQ(RunProgram({"--help"}, out, err), vrhost::kExitOk);
    EXPECT_NE(out.find("usage: vrhost [--driver"), std::string::npos);
}

TEST(CommandLineTest, ProgramSessionEchoesLogAndEndsWithSummary) {
    cScratchFolder scratch;
    std::string out, err;
    const auto poses = scratch.Path() / "poses.csv";
    ASSERT_EQ(RunProgram({"--driver", vrhost_test::FakeDriverFolder().u8string(), "--duration", "0.2", "--hmd", "oculus",
                   "--hmd-serial", "OC-1", "--poses", poses.u8string()},
                  out, err),
              vrhost::kExitOk)
        << err;
    EXPECT_EQ(err, "");
    // Messages without a line end still get their own line on stdout.
    EXPECT_NE(out.find("fake: a message without a line end\n"), std::string::npos);
    EXPECT_NE(out.find("fake: hmd system 'oculus' error 0"), std::string::npos);
    const size_t summaryAt = out.find("--- vrhost summary ---\n");
    ASSERT_NE(summaryAt, std::string::npos);
    EXPECT_GT(summaryAt, out.find("fake: Cleanup after"));
    const auto lines = vrhost::ReadSummary(out);
    EXPECT_EQ(vrhost::SelectLines(lines, "hmd")[0].Get("trackingSystem"), "oculus");
    EXPECT_EQ(vrhost::SelectLines(lines, "hmd")[0].Get("serial"), "OC-1");
    const auto devices = vrhost::SelectLines(lines, "device");
    ASSERT_EQ(devices.size(), 2u);
    EXPECT_EQ(devices[1].Get("serial"), "fake-1");
    EXPECT_EQ(devices[1].Get("deactivated"), "1");
    // Every update counted in the summary is a row in the CSV.
    size_t counted = 0;
    for (const auto& poseLine : vrhost::SelectLines(lines, "poses")) counted += std::stoul(poseLine.Get("count"));
    const std::string csv = vrhost_test::ReadText(poses);
    EXPECT_GT(counted, 0u);
    EXPECT_EQ(static_cast<size_t>(std::count(csv.begin(), csv.end(), '\n')), counted + 1);
}

TEST(CommandLineTest, SessionWithoutDurationRunsUntilStopped) {
    std::atomic<bool> stop{false};
    std::ostringstream out;
    std::ostringstream err;
    std::thread interrupter([&stop] {
        std::this_thread::sleep_for(std::chrono::milliseconds(200));
        stop = true;  // what Ctrl+C does
    });
    const int code = vrhost::RunVrhost({"--driver", vrhost_test::FakeDriverFolder().u8string()}, out, err, &stop);
    interrupter.join();
    EXPECT_EQ(code, vrhost::kExitOk) << err.str();
    const auto lines = vrhost::ReadSummary(out.str());
    ASSERT_FALSE(vrhost::SelectLines(lines, "frames").empty());
    EXPECT_GT(std::stoul(vrhost::SelectLines(lines, "frames")[0].Get("count")), 5u);
    EXPECT_NE(out.str().find("fake: Cleanup after"), std::string::npos);
}

}  // namespace
