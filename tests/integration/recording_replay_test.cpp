// A session recorded by the driver, replayed through halvex_replay: the replay
// must give the device's own filter rows. The session's files are kept under
// the build folder's test-artifacts/ for the plot tests.
#include "scenario_motion.h"
#include "platform/known_folders.h"
#include "recording_files.h"
#include "replay_tool.h"
#include "tessaly/server/mocap_server.h"
#include "test_support.h"

#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>
#include <fstream>
#include <random>
#include <sstream>

namespace {

using namespace halvex::test;
namespace fs = std::filesystem;

constexpr int32_t kHeadId = 3;

struct sRecordedSession {
    fs::path rawData;
    fs::path filter;
};

// A head-turns session with recording on; the pose file goes to `posesFile`.
sRecordedSession RecordSession(const std::string& trackingType, const fs::path& posesFile, bool recording,
                               vrhost::sHostOptions options = {}) {
    tessaly::server::sMocapServerConfig config;
    config.frameRateHz = 120.0;
    config.latencySeconds = 0.012;
    tessaly::server::cMocapServer server(config);
    server.SetRigidBodyMotion(kHeadId, corvane_sim::ScenarioRigidBodyMotion("head-turns", kHeadId));
    std::string error;
    EXPECT_TRUE(server.Start(&error)) << error;
    SetEnvironment("TESSALY_DISCOVERY_ADDRESSES", server.DiscoveryEntry());

    options.scenario = "head-turns";
    options.posesCsvFile = posesFile.u8string();
    auto host = MakeHost({IntSetting("tessalyRigidBodyIdHead", kHeadId), StringSetting("trackingType", trackingType),
                          BoolSetting("recordRawData", recording)},
                         options);
    EXPECT_EQ(host->Init(), vr::VRInitError_None);
    const auto anyValidPose = [&] {
        for (const vrhost::sPoseUpdate& update : host->PoseUpdates())
            if (update.pose.poseIsValid) return true;
        return false;
    };
    EXPECT_TRUE(RunUntil(*host, anyValidPose, 10.0));
    host->RunFor(3.0);
    host->Cleanup();
    host.reset();
    server.Stop();

    const fs::path folder = fs::u8path(halvex::platform::RecordingLogFolder());
    return {folder / "device1_rawdata.csv", folder / "device1_filter.csv"};
}

std::vector<halvex::replay::sFilterRow> ReadFilter(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::vector<halvex::replay::sFilterRow> rows;
    halvex::replay::sInputError error;
    EXPECT_TRUE(halvex::replay::ReadFilterFile(in, rows, error)) << path << ":" << error.line << ": " << error.reason;
    return rows;
}

TEST(RecordingReplay, ASessionReplaysToTheDevicesOwnFilterRows) {
#if defined(_WIN32)
    // The runtime's device 1 would record into, and the test delete from, the real
    // ProgramData log folder.
    GTEST_SKIP() << "records only where the log folder can be redirected";
#endif
    const fs::path artifacts = fs::u8path(HALVEX_TEST_ARTIFACTS);
    const fs::path recording = artifacts / "recording";
    fs::remove_all(recording);
    fs::create_directories(recording);
    const fs::path state = fs::temp_directory_path() / ("halvex-replay-" + std::to_string(std::random_device{}()));
    SetEnvironment("XDG_STATE_HOME", state.string());
    const sRecordedSession session = RecordSession("Standard", artifacts / "poses-Standard.csv", true);
    fs::copy_file(session.rawData, recording / "device1_rawdata.csv", fs::copy_options::overwrite_existing);
    fs::copy_file(session.filter, recording / "device1_filter.csv", fs::copy_options::overwrite_existing);
    fs::remove(session.rawData);
    fs::remove(session.filter);
    // The optical-only head of the same scenario, for the session picture.
    RecordSession("HalvexOnly", artifacts / "poses-HalvexOnly.csv", false);

    const fs::path raw = recording / "device1_rawdata.csv";
    const fs::path recorded = recording / "device1_filter.csv";
    const fs::path replayed = artifacts / "replayed_filter.csv";
    std::ostringstream messages;
    const int status = halvex::replay::RunHalvexReplay(
        {raw.u8string(), "--compare", recorded.u8string(), "--out", replayed.u8string()}, messages);
    const size_t recordedRows = ReadFilter(recorded).size();
    ASSERT_GT(recordedRows, 400u) << "about 240 optical updates a second, two rows each";
    if (status != 0) {
        // Only a reset the recording cannot tell the time of may part the two,
        // and a head-turns session has none to speak of until its end.
        EXPECT_EQ(status, 1) << messages.str();
        EXPECT_NE(messages.str().find("the reset was decided at an IMU poll"), std::string::npos) << messages.str();
        EXPECT_NE(messages.str().find("agrees with " + recorded.u8string() + " on the first"), std::string::npos);
        std::istringstream text(messages.str().substr(messages.str().find("on the first ") + 13));
        size_t agreeing = 0;
        text >> agreeing;
        EXPECT_GT(agreeing, recordedRows * 9 / 10) << messages.str();
    } else {
        EXPECT_NE(messages.str().find("the replay reproduces all " + std::to_string(recordedRows) + " rows"),
                  std::string::npos)
            << messages.str();
    }

    // Other parameters: other rows, but still a head tracked within a few centimetres.
    const fs::path other = artifacts / "replayed_filter_other.csv";
    messages.str("");
    ASSERT_EQ(halvex::replay::RunHalvexReplay({raw.u8string(), "--params", "1,0.0001,1e-6,1e-6", "--latency-ms", "1",
                                               "--out", other.u8string()},
                                              messages),
              0)
        << messages.str();
    const auto own = ReadFilter(replayed);
    const auto changed = ReadFilter(other);
    ASSERT_EQ(own.size(), changed.size());
    size_t differing = 0;
    for (size_t i = 0; i < own.size(); ++i) {
        if (own[i].record.covarianceDiagonal[0] >= 1e9 || changed[i].record.covarianceDiagonal[0] >= 1e9) continue;
        double distance = 0.0;
        for (int k = 0; k < 3; ++k)
            distance += std::pow(own[i].record.state[k] - changed[i].record.state[k], 2.0);
        EXPECT_LT(std::sqrt(distance), 0.03) << "row " << i;
        if (distance > 0.0) ++differing;
    }
    EXPECT_GT(differing, own.size() / 2);
    std::error_code ignored;
    fs::remove_all(state, ignored);
}

// Where the simulated WMR headset exists: its reports come through a private hidraw tree.
#ifndef _WIN32
TEST(RecordingReplay, AWmrHeadsRecordingReplaysToItsOwnFilterRows) {
    const fs::path state = fs::temp_directory_path() / ("halvex-replay-wmr-" + std::to_string(std::random_device{}()));
    fs::create_directories(state);
    SetEnvironment("XDG_STATE_HOME", state.string());
    vrhost::sHostOptions options;
    options.hmdTrackingSystem = "holographic";
    options.hmdSerial = "WMR-VRHOST00";
    const sRecordedSession session = RecordSession("Standard", state / "poses.csv", true, options);

    std::ostringstream messages;
    const fs::path replayed = state / "replayed_filter.csv";
    const int status = halvex::replay::RunHalvexReplay(
        {session.rawData.u8string(), "--compare", session.filter.u8string(), "--out", replayed.u8string()}, messages);
    const auto recorded = ReadFilter(session.filter);
    ASSERT_GT(recorded.size(), 4000u) << "a filter row before and after every IMU sample and optical frame";
    // A WMR head judges staleness only after whole reports, all of them recorded:
    // nothing is left for the replay to guess.
    EXPECT_EQ(status, 0) << messages.str();
    EXPECT_NE(messages.str().find("the replay reproduces all " + std::to_string(recorded.size()) + " rows"),
              std::string::npos)
        << messages.str();
    // Written in the device's own style: row types by name.
    std::ifstream in(replayed, std::ios::binary);
    std::string header, first;
    std::getline(in, header);
    std::getline(in, first);
    EXPECT_TRUE(first.find(", imu_pre,") != std::string::npos || first.find(", opt_pre,") != std::string::npos)
        << first;
    std::error_code ignored;
    fs::remove_all(state, ignored);
}
#endif

}  // namespace
