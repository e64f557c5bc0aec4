// The WMR device class end to end: the driver folder in the stand-in runtime with a
// simulated WMR headset whose IMU the driver reads through its own HID code (on
// Linux a private hidraw tree; Windows offers no simulated interface, so there the
// driver meets the "no interface" case), and a mocap server in-process.
#include "devices/halvex_device.h"
#include "devices/learned_imu_biases.h"
#include "platform/clock.h"
#include "platform/files.h"
#include "platform/known_folders.h"
#include "recording/device_calibration.h"
#include "recording_files.h"
#include "replay_tool.h"
#include "scenario_session.h"
#include "test_support.h"
#include "vrhost/host/server_driver_host.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <random>
#include <sstream>

namespace {

using namespace halvex::test;

constexpr int32_t kHeadId = 3;
constexpr int32_t kControllerAId = 5;
constexpr int32_t kControllerBId = 6;

struct sSession {
    std::unique_ptr<tessaly::server::cMocapServer> server;
    std::unique_ptr<vrhost::cHost> host;
};

sSession StartSession(const std::string& trackingType, bool controllers, vrhost::sHostOptions options = {},
                      std::vector<sSetting> extra = {}) {
    sSession session;
    std::vector<int32_t> bodies = {kHeadId};
    std::vector<sSetting> settings = {IntSetting("tessalyRigidBodyIdHead", kHeadId),
                                      StringSetting("trackingType", trackingType)};
    if (controllers) {
        bodies.insert(bodies.end(), {kControllerAId, kControllerBId});
        settings.push_back(IntSetting("tessalyRigidBodyIdControllerA", kControllerAId));
        settings.push_back(IntSetting("tessalyRigidBodyIdControllerB", kControllerBId));
    }
    settings.insert(settings.end(), extra.begin(), extra.end());
    session.server = StartScenarioServer("head-turns", bodies);
    options.scenario = "head-turns";
    options.hmdTrackingSystem = "holographic";
    options.hmdSerial = "WMR-VRHOST00";
    session.host = MakeHost(settings, options);
    EXPECT_EQ(session.host->Init(), vr::VRInitError_None);
    return session;
}

// Deactivates the device directly, as the runtime does, and tells how long it took.
double DeactivateSeconds(vrhost::cHost& host, const std::string& serial) {
    auto* device = static_cast<cIHalvexDevice*>(host.ServerDriverHost().Device(IndexOf(host, serial)));
    EXPECT_NE(device, nullptr);
    if (!device) return 1e9;
    const double start = halvex::platform::NowSeconds();
    device->Deactivate();
    return halvex::platform::NowSeconds() - start;
}

TEST(Wmr, SilentOrMissingHeadsetNeverHoldsUpDeactivate) {
    vrhost::sHostOptions options;
    options.wmr.imuInterface = vrhost::sWmrHeadsetOptions::eInterface::Silent;
    sSession session = StartSession("Standard", /*controllers=*/true, options);
    vrhost::cHost& host = *session.host;
    host.RunFor(1.0);
#ifdef _WIN32
    // No HID interface of the headset exists here: every device says so and its IMU thread ends.
    EXPECT_EQ(CountLinesContaining(host.Log(), "Error: Unable to open WMR IMU HID device."), 3u);
#else
    EXPECT_EQ(CountLinesContaining(host.Log(), "ThreadProc_ImuThread: initializing filter"), 3u);
    EXPECT_EQ(CountLinesContaining(host.Log(), "Error: Unable to open WMR IMU HID device."), 0u);
#endif
    EXPECT_EQ(CountLinesContaining(host.Log(), "Pose becoming valid"), 0u) << "no IMU, no fused head";
    for (const char* serial : {"halvex-head", "halvex-controller-a", "halvex-controller-b"})
        EXPECT_LT(DeactivateSeconds(host, serial), 0.5) << serial;
    host.Cleanup();
    session.server->Stop();
}

#ifndef _WIN32

bool BecameValid(vrhost::cHost& host, double seconds = 10.0) {
    return RunUntil(host, [&] { return CountLinesContaining(host.Log(), "halvex-head-w mRigidBodyId=3 Pose becoming valid") >= 1; },
                    seconds);
}

TEST(Wmr, FusedHeadAndDirectControllersTrackTheTruth) {
    sSession session = StartSession("Standard", /*controllers=*/true);
    vrhost::cHost& host = *session.host;
    ASSERT_TRUE(BecameValid(host));
    host.RunFor(4.0);

    // Every device's IMU thread found the headset's interface; only the head fuses.
    EXPECT_EQ(CountLinesContaining(host.Log(), "ThreadProc_ImuThread: initializing filter"), 3u);
    size_t fused = 0;
    for (const auto& update : UpdatesOf(host, IndexOf(host, "halvex-head"))) {
        if (!update.pose.poseIsValid) continue;
        EXPECT_TRUE(HasAngularVelocity(update.pose));
        ++fused;
    }
    EXPECT_GT(fused, 700u) << "one fused pose per sensor report, 250 a second";
    for (const char* serial : {"halvex-controller-a", "halvex-controller-b"}) {
        size_t direct = 0;
        for (const auto& update : UpdatesOf(host, IndexOf(host, serial))) {
            if (!update.pose.poseIsValid) continue;
            EXPECT_FALSE(HasAngularVelocity(update.pose)) << serial;
            ++direct;
        }
        EXPECT_GT(direct, 500u) << serial;
    }
    const auto reports = host.AccuracyReports();
    ASSERT_EQ(reports.size(), 3u);
    for (const auto& report : reports) {
        ASSERT_GT(report.samples, 100u) << report.serial;
        EXPECT_LT(report.positionRmsMm, 20.0) << report.serial;
        EXPECT_LT(report.orientationRmsDeg, 1.0) << report.serial;
        if (report.serial == "halvex-head") {
            EXPECT_LT(report.poseAgeMeanMs, 8.0) << "fused: not an optical latency old";
        }
    }
    host.Cleanup();
    session.server->Stop();
}

TEST(Wmr, OpticalOnlyHeadIgnoresTheImuReports) {
    sSession session = StartSession("HalvexOnly", /*controllers=*/false, {}, {IntSetting("debugLevel", 1)});
    vrhost::cHost& host = *session.host;
    host.RunFor(2.0);
    EXPECT_GT(CountLinesContaining(host.Log(), "sem0 index0 processed-1: TrackingType::TrackingType_HalvexOnly"), 100u);
    EXPECT_EQ(CountLinesContaining(host.Log(), "index1 processed-1"), 0u) << "the rest of a report is dropped";
    EXPECT_EQ(CountLinesContaining(host.Log(), "Pose becoming valid"), 0u);
    size_t valid = 0;
    for (const auto& update : UpdatesOf(host, IndexOf(host, "halvex-head"))) valid += update.pose.poseIsValid;
    EXPECT_GT(valid, 200u);
    host.Cleanup();
    session.server->Stop();
}

TEST(Wmr, OpticalSilenceInvalidatesThenRebuildsTheFilter) {
    sSession session = StartSession("Standard", /*controllers=*/false);
    vrhost::cHost& host = *session.host;
    ASSERT_TRUE(BecameValid(host));
    host.RunFor(0.5);
    const size_t resetsBefore = CountLinesContaining(host.Log(), "halvex-head-w Resetting filter");
    session.server->PauseStream(true);
    const double paused = halvex::platform::NowSeconds();
    const vr::TrackedDeviceIndex_t head = IndexOf(host, "halvex-head");
    const double invalidAt = RunUntilInvalidPoseAfter(host, head, paused, 5.0);
    ASSERT_GT(invalidAt, 0.0);
    // The newest optical sample is a latency older than the pause.
    EXPECT_GT(invalidAt - paused, 1.9);
    EXPECT_LT(invalidAt - paused, 3.0);
    double resetAt = 0.0;
    ASSERT_TRUE(RunUntil(host, [&] {
        resetAt = halvex::platform::NowSeconds();
        return CountLinesContaining(host.Log(), "halvex-head-w Resetting filter") > resetsBefore;
    }, 2.0));
    EXPECT_LT(resetAt - invalidAt, 1.0) << "rebuilt once the last fused pose is 0.35 s old";

    // Optical data returns: the rebuilt filter fuses again.
    session.server->PauseStream(false);
    ASSERT_TRUE(RunUntil(host, [&] { return CountLinesContaining(host.Log(), "Pose becoming valid") >= 2; }, 5.0));
    host.Cleanup();
    session.server->Stop();
}

TEST(Wmr, ExtraInterfacesOfTheHeadsetAreSkippedUntilOneSendsSensorReports) {
    vrhost::sHostOptions options;
    options.wmr.extraInterfaces = 2;
    sSession session = StartSession("Standard", /*controllers=*/false, options, {IntSetting("debugLevel", 2)});
    vrhost::cHost& host = *session.host;
    ASSERT_TRUE(BecameValid(host));
    size_t kept = 0;
    for (const std::string& line : host.Log())
        kept += line.rfind("Keeping ", 0) == 0 && line.find("/dev/hidraw2 ") != std::string::npos &&
                line.size() > 8 && line.substr(line.size() - 8) == " index 2";
    EXPECT_EQ(kept, 1u);
    EXPECT_EQ(CountLinesContaining(host.Log(), "mImuDeviceVec size=3:"), 1u);
    host.Cleanup();
    session.server->Stop();
}

TEST(Wmr, NoInterfaceSaysSoOnceAndLeavesTheHeadUnfused) {
    vrhost::sHostOptions options;
    options.wmr.imuInterface = vrhost::sWmrHeadsetOptions::eInterface::None;
    sSession session = StartSession("Standard", /*controllers=*/false, options);
    vrhost::cHost& host = *session.host;
    host.RunFor(1.5);
    EXPECT_EQ(CountLinesContaining(host.Log(), "Error: Unable to open WMR IMU HID device."), 1u);
    EXPECT_EQ(CountLinesContaining(host.Log(), "ThreadProc_ImuThread: initializing filter"), 0u);
    for (const auto& update : UpdatesOf(host, IndexOf(host, "halvex-head"))) EXPECT_FALSE(update.pose.poseIsValid);
    host.Cleanup();
    session.server->Stop();
}

std::vector<std::string> ReadLines(const std::filesystem::path& file) {
    std::ifstream in(file, std::ios::binary);
    std::vector<std::string> lines;
    for (std::string line; std::getline(in, line);) lines.push_back(line);
    return lines;
}

TEST(Wmr, RecordingWritesRawFilterAndReportFiles) {
    const std::filesystem::path state =
        std::filesystem::temp_directory_path() / ("halvex-wmr-recording-" + std::to_string(std::random_device{}()));
    SetEnvironment("XDG_STATE_HOME", state.string());
    const std::filesystem::path folder = std::filesystem::u8path(halvex::platform::RecordingLogFolder());

    sSession session = StartSession("Standard", /*controllers=*/false, {}, {BoolSetting("recordRawData", true)});
    vrhost::cHost& host = *session.host;
    ASSERT_TRUE(BecameValid(host));
    host.RunFor(1.0);
    host.Cleanup();
    session.server->Stop();

    const auto raw = ReadLines(folder / "device1_rawdata.csv");
    ASSERT_GT(raw.size(), 500u);
    EXPECT_EQ(raw[1], "#     +1.0000000000000000e+00 +0.0000000000000000e+00 +0.0000000000000000e+00 +0.0000000000000000e+00")
        << "identity IMU-to-head";
    EXPECT_EQ(raw[5], "driverTime,eventTime,sensorType,tx,ty,tz,rw,rx,ry,rz") << "no factory scales";
    const auto filter = ReadLines(folder / "device1_filter.csv");
    ASSERT_GT(filter.size(), 100u);
    size_t imuPre = 0, optPre = 0;
    for (size_t i = 1; i < filter.size(); ++i) {
        imuPre += filter[i].find(", imu_pre,") != std::string::npos;
        optPre += filter[i].find(", opt_pre,") != std::string::npos;
    }
    EXPECT_GT(imuPre, 4 * optPre) << "four IMU samples a report, far more reports than optical frames";
    EXPECT_GT(optPre, 50u);
    const auto reports = ReadLines(folder / "device1_imuraw.csv");
    ASSERT_GT(reports.size(), 200u);
    EXPECT_EQ(reports[0].rfind("dataName,id, temperature_0, temperature_1,", 0), 0u);
    for (size_t i = 1; i < reports.size(); ++i) ASSERT_EQ(reports[i].rfind("SensorReport,1, ", 0), 0u) << reports[i];
    std::filesystem::remove_all(state);
}

std::string ReadText(const std::filesystem::path& file) {
    std::ifstream in(file, std::ios::binary);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

// The gyroscope and accelerometer biases the head's filter started from: its first recorded row.
void FirstFilterBiases(const std::filesystem::path& filterFile, Eigen::Vector3d& gyro, Eigen::Vector3d& accel) {
    std::ifstream in(filterFile, std::ios::binary);
    std::vector<halvex::replay::sFilterRow> rows;
    halvex::replay::sInputError error;
    ASSERT_TRUE(halvex::replay::ReadFilterFile(in, rows, error)) << filterFile << ":" << error.line << ": " << error.reason;
    ASSERT_FALSE(rows.empty());
    const double* state = rows.front().record.state;
    accel = Eigen::Vector3d(state[10], state[11], state[12]);
    gyro = Eigen::Vector3d(state[13], state[14], state[15]);
}

// One session of the fused head: until its pose is valid, then `seconds` more. The driver's log.
std::vector<std::string> RunHeadSession(double seconds, const std::vector<sSetting>& settings) {
    sSession session = StartSession("Standard", /*controllers=*/false, {}, settings);
    vrhost::cHost& host = *session.host;
    const bool valid = BecameValid(host);
    EXPECT_TRUE(valid);
    if (valid) host.RunFor(seconds);
    host.Cleanup();
    session.server->Stop();
    return host.Log();
}

std::string LineContaining(const std::vector<std::string>& lines, const std::string& text) {
    for (const std::string& line : lines)
        if (line.find(text) != std::string::npos) return line;
    return "<none>";
}

// Sessions of one headset in one state folder: the first learns and keeps its
// biases, the second starts from them and, too short to have learned, leaves the
// file as it was; a damaged file, or one learned under another IMU correction,
// then means zero biases and one line saying so.
TEST(Wmr, TheHeadStartsEachSessionFromTheBiasesTheLastOneLearned) {
    const std::filesystem::path state =
        std::filesystem::temp_directory_path() / ("halvex-wmr-biases-" + std::to_string(std::random_device{}()));
    SetEnvironment("XDG_STATE_HOME", state.string());
    const std::filesystem::path biasFile =
        std::filesystem::u8path(halvex::platform::DriverStateFolder()) / "wmr_imu_biases_WMR-VRHOST00.txt";
    const std::filesystem::path filterFile =
        std::filesystem::u8path(halvex::platform::RecordingLogFolder()) / "device1_filter.csv";
    const std::vector<sSetting> recording = {BoolSetting("recordRawData", true)};

    // A learning time a test can wait for; the bias variances must still have settled.
    auto log = RunHeadSession(16.0, {IntSetting("wmrBiasLearningSeconds", 8)});
    EXPECT_EQ(CountLinesContaining(log, "no IMU biases kept for headset WMR-VRHOST00 yet"), 1u);
    ASSERT_EQ(CountLinesContaining(log, "IMU biases kept in"), 1u) << LineContaining(log, "IMU biases not kept");
    const std::string kept = ReadText(biasFile);
    halvex::sLearnedImuBiases learned;
    std::string reason;
    ASSERT_TRUE(halvex::ParseLearnedBiases(kept, learned, reason)) << reason << "\n" << kept;
    // The simulated headset's biases (sim/imu_model.h); the filter had them within 0.05 mrad/s and 1 mm/s^2.
    EXPECT_LT((learned.gyro - Eigen::Vector3d(0.0008, -0.0012, 0.0005)).norm(), 2e-4) << learned.gyro.transpose();
    EXPECT_LT((learned.accel - Eigen::Vector3d(0.01, -0.02, 0.015)).norm(), 5e-3) << learned.accel.transpose();

    log = RunHeadSession(1.0, recording);
    EXPECT_EQ(CountLinesContaining(log, "IMU biases of an earlier session from"), 1u);
    EXPECT_EQ(CountLinesContaining(log, "IMU biases not kept: the filter did not learn them"), 1u);
    Eigen::Vector3d gyro, accel;
    FirstFilterBiases(filterFile, gyro, accel);
    EXPECT_LT((gyro - learned.gyro).cwiseAbs().maxCoeff(), 1e-15) << gyro.transpose();
    EXPECT_LT((accel - learned.accel).cwiseAbs().maxCoeff(), 1e-15) << accel.transpose();
    EXPECT_EQ(ReadText(biasFile), kept) << "a short session leaves the file as it was";

    const std::string damaged = "halvex wmr imu biases 1\ngyroBias=0.001,nan,0\n";
    {
        std::ofstream out(biasFile, std::ios::binary | std::ios::trunc);
        out << damaged;
    }
    log = RunHeadSession(0.5, recording);
    EXPECT_EQ(CountLinesContaining(log, "_WMR-VRHOST00.txt' are unusable"), 1u);
    EXPECT_EQ(CountLinesContaining(log, "IMU biases of an earlier session"), 0u);
    FirstFilterBiases(filterFile, gyro, accel);
    EXPECT_EQ(gyro, Eigen::Vector3d::Zero());
    EXPECT_EQ(accel, Eigen::Vector3d::Zero());
    EXPECT_EQ(ReadText(biasFile), damaged);

    // Biases of uncorrected samples do not hold for corrected ones.
    {
        std::ofstream out(biasFile, std::ios::binary | std::ios::trunc);
        out << kept;
    }
    auto calibrated = recording;
    calibrated.push_back(StringSetting("calibrationHeadGyroBias", "0.0005,0,0"));
    log = RunHeadSession(0.5, calibrated);
    EXPECT_EQ(CountLinesContaining(log, "were learned under another IMU correction"), 1u);
    FirstFilterBiases(filterFile, gyro, accel);
    EXPECT_EQ(gyro, Eigen::Vector3d::Zero());
    std::filesystem::remove_all(state);
}

// An IMU correction in the head's calibration and biases an earlier session learned
// under it: the device applies both, and the recording replays to its own rows.
TEST(Wmr, ARecordingWithAnImuCorrectionAndLearnedBiasesReplaysToTheDevicesRows) {
    const std::filesystem::path state =
        std::filesystem::temp_directory_path() / ("halvex-wmr-corrected-" + std::to_string(std::random_device{}()));
    SetEnvironment("XDG_STATE_HOME", state.string());
    const std::string gyroCorrection = "1.002,0.001,0,0,0.999,0,0,-0.001,1";
    const std::string accelBias = "0.01,-0.02,0.005";
    halvex::sDeviceCalibration calibration;
    std::string reason;
    ASSERT_TRUE(halvex::ParseCalibrationField("GyroCorrection", gyroCorrection, calibration, reason)) << reason;
    ASSERT_TRUE(halvex::ParseCalibrationField("AccelBias", accelBias, calibration, reason)) << reason;
    halvex::sLearnedImuBiases learned;
    learned.gyro = {0.0003, -0.0004, 0.0002};
    learned.accel = {0.004, 0.003, -0.002};
    learned.correctionFingerprint = halvex::ImuCorrectionFingerprint(calibration);
    const std::string stateFolder = halvex::platform::DriverStateFolder();
    ASSERT_TRUE(halvex::platform::CreateDirectories(stateFolder));
    ASSERT_TRUE(halvex::platform::WriteFileAtomically(stateFolder + "wmr_imu_biases_WMR-VRHOST00.txt",
                                                      halvex::FormatLearnedBiases(learned), reason))
        << reason;

    const auto log = RunHeadSession(2.0, {BoolSetting("recordRawData", true),
                                          StringSetting("calibrationHeadGyroCorrection", gyroCorrection),
                                          StringSetting("calibrationHeadAccelBias", accelBias)});
    EXPECT_EQ(CountLinesContaining(log, "IMU biases of an earlier session from"), 1u);
    const std::filesystem::path folder = std::filesystem::u8path(halvex::platform::RecordingLogFolder());
    Eigen::Vector3d gyro, accel;
    FirstFilterBiases(folder / "device1_filter.csv", gyro, accel);
    EXPECT_EQ(gyro, learned.gyro);
    std::ostringstream messages;
    const int status = halvex::replay::RunHalvexReplay({(folder / "device1_rawdata.csv").u8string(), "--compare",
                                                        (folder / "device1_filter.csv").u8string(), "--out",
                                                        (state / "replayed.csv").u8string()},
                                                       messages);
    EXPECT_EQ(status, 0) << messages.str();
    EXPECT_NE(messages.str().find("applying the calibration in"), std::string::npos) << messages.str();
    // Without --compare the seeds come from the filter file beside the recording: the same rows.
    std::ostringstream alone;
    EXPECT_EQ(halvex::replay::RunHalvexReplay(
                  {(folder / "device1_rawdata.csv").u8string(), "--out", (state / "replayed-alone.csv").u8string()}, alone),
              0)
        << alone.str();
    EXPECT_NE(alone.str().find("bias seeds taken from " + (folder / "device1_filter.csv").u8string()), std::string::npos)
        << alone.str();
    const auto text = [](const std::filesystem::path& path) {
        std::ostringstream contents;
        contents << std::ifstream(path, std::ios::binary).rdbuf();
        return contents.str();
    };
    const std::string replayed = text(state / "replayed.csv");
    EXPECT_GT(replayed.size(), 1000u);
    EXPECT_EQ(text(state / "replayed-alone.csv"), replayed);
    std::filesystem::remove_all(state);
}

// The headset off USB for 1.5 s, its clock counting from zero again once it is back.
TEST(Wmr, AHeadsetThatGoesAwayIsInvalidatedAtOnceAndFoundAgain) {
    vrhost::sHostOptions options;
    options.wmr.unplugAfterSeconds = 3.0;
    options.wmr.unplugForSeconds = 1.5;
    options.wmr.replugRestartsClock = true;
    sSession session = StartSession("Standard", /*controllers=*/false, options);
    vrhost::cHost& host = *session.host;
    ASSERT_TRUE(BecameValid(host));
    const vr::TrackedDeviceIndex_t head = IndexOf(host, "halvex-head");
    const auto lostLines = [&] { return CountLinesContaining(host.Log(), "lost (error "); };
    ASSERT_TRUE(RunUntil(host, [&] { return lostLines() >= 1; }, 10.0)) << "the IMU thread says what happened";
    // Invalidated before the line was written: the head's newest pose is no longer valid.
    const auto updates = UpdatesOf(host, head);
    ASSERT_FALSE(updates.empty());
    EXPECT_FALSE(updates.back().pose.poseIsValid);
    EXPECT_EQ(updates.back().pose.result, vr::TrackingResult_Calibrating_InProgress);
    EXPECT_TRUE(HasLine(host.Log(), "halvex-head-w: WMR IMU HID device '" + std::string(std::getenv("HALVEX_HIDRAW_ROOT")) +
                                        "/dev/hidraw0' lost (error 5), pose invalidated; searching again every 1 s\n"));

    ASSERT_TRUE(RunUntil(host, [&] { return CountLinesContaining(host.Log(), "WMR IMU HID device found again at") >= 1; }, 10.0));
    const double foundAt = halvex::platform::NowSeconds();
    EXPECT_EQ(CountLinesContaining(host.Log(), "ticks went backwards"), 1u) << "the replugged headset's clock restarted";
    ASSERT_TRUE(RunUntil(host, [&] { return CountLinesContaining(host.Log(), "Pose becoming valid") >= 2; }, 10.0));
    host.RunFor(1.0);
    // Dated on the new time base: each fused pose is about a sample old, not 1e12 s.
    size_t fusedAgain = 0;
    for (const auto& update : UpdatesOf(host, head)) {
        if (update.hostTime < foundAt || !update.pose.poseIsValid) continue;
        EXPECT_LT(std::abs(update.pose.poseTimeOffset), 0.5);
        ++fusedAgain;
    }
    EXPECT_GT(fusedAgain, 100u);
    EXPECT_EQ(lostLines(), 1u);
    host.Cleanup();
    session.server->Stop();
}

TEST(Wmr, AShortReportIsNoSensorReport) {
    vrhost::sHostOptions options;
    options.wmr.shortReportEvery = 5;
    sSession session = StartSession("Standard", /*controllers=*/false, options, {IntSetting("debugLevel", 1)});
    vrhost::cHost& host = *session.host;
    ASSERT_TRUE(BecameValid(host));
    host.RunFor(2.0);
    // One in five reports is cut to 100 bytes; decoded with the earlier report's tail,
    // each would still give four samples.
    EXPECT_GT(CountLinesContaining(host.Log(), "PollImu_ImuThread: Early Return bProcessedNewSamples == false"), 100u);
    host.Cleanup();
    session.server->Stop();
}

#endif

}  // namespace
