// IMU poll period of the Lighthouse devices with recording off and on: recording
// must never slow tracking down, so both rows should match, and full rings drop
// records instead of blocking. Prints a table; the driver folder is hosted
// in-process by the stand-in runtime, with a simulated mocap server.
//
//   imu_poll_recording [--seconds S] [--scenario NAME]
#include "scenario_motion.h"

#include "platform/clock.h"
#include "platform/known_folders.h"
#include "sim/motion_scenario.h"
#include "tessaly/server/mocap_server.h"
#include "vrhost/host/driver_location.h"
#include "vrhost/host/host.h"
#include "vrhost/world/imu_stream.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

namespace {

struct sRow {
    std::string device;
    double pollMedianMs = 0.0;
    double pollP99Ms = 0.0;
    uint64_t samplesRead = 0;
    std::string recordingLine;
};

std::vector<sRow> RunSession(bool recording, const std::string& scenario, double seconds,
                             const std::filesystem::path& settingsFile) {
    {
        std::ofstream out(settingsFile, std::ios::binary | std::ios::trunc);
        out << "{ \"driver_halvex\": { \"tessalyRigidBodyIdHead\": 3, \"tessalyRigidBodyIdControllerA\": 5,\n"
            << "  \"recordRawData\": " << (recording ? "true" : "false") << " },\n"
            << "  \"TrackingOverrides\": { \"/devices/halvex/halvex-controller-a\": \"/devices/htc/vive_controllerLHR-BENCH5\" } }\n";
    }
    vrhost::sHostOptions options;
    options.settingsFile = settingsFile.u8string();
    options.scenario = scenario;
    vrhost::cHost host(options);
    host.LoadDriver(vrhost::DriverFolderBesideProgram());
    host.Init();
    host.RunFor(seconds);
    host.Cleanup();

    std::vector<sRow> rows;
    for (const auto& stream : host.ImuStreamStats()) {
        if (stream.readCalls == 0) continue;
        sRow row;
        row.device = stream.device;
        row.pollMedianMs = stream.pollMedianMs;
        row.pollP99Ms = stream.pollP99Ms;
        row.samplesRead = stream.read;
        for (const std::string& line : host.Log()) {
            if (line.rfind(stream.device + "-s recording ended", 0) == 0) row.recordingLine = line;
        }
        rows.push_back(row);
    }
    return rows;
}

}  // namespace

int main(int argc, char** argv) {
    double seconds = 10.0;
    std::string scenario = "head-turns";
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--seconds") == 0 && i + 1 < argc) {
            seconds = std::atof(argv[++i]);
        } else if (std::strcmp(argv[i], "--scenario") == 0 && i + 1 < argc) {
            scenario = argv[++i];
        } else {
            std::fprintf(stderr, "usage: imu_poll_recording [--seconds S] [--scenario NAME]\n");
            return 2;
        }
    }
    if (!(seconds > 0.0) || !sim::cMotionScenario::Create(scenario)) {
        std::fprintf(stderr, "imu_poll_recording: need positive --seconds and a known --scenario\n");
        return 2;
    }

    // Recordings of this run go to a folder of its own.
    const std::filesystem::path work =
        std::filesystem::temp_directory_path() / ("halvex-bench-" + std::to_string(halvex::platform::NowTicks()));
    std::filesystem::create_directories(work);
#if !defined(_WIN32)
    setenv("XDG_STATE_HOME", work.string().c_str(), 1);
#endif

    tessaly::server::sMocapServerConfig config;
    config.frameRateHz = 120.0;
    config.latencySeconds = 0.012;
    tessaly::server::cMocapServer server(config);
    for (int32_t id : {3, 5}) server.SetRigidBodyMotion(id, corvane_sim::ScenarioRigidBodyMotion(scenario, id));
    std::string error;
    if (!server.Start(&error)) {
        std::fprintf(stderr, "imu_poll_recording: %s\n", error.c_str());
        return 1;
    }
#if defined(_WIN32)
    _putenv_s("TESSALY_DISCOVERY_ADDRESSES", server.DiscoveryEntry().c_str());
#else
    setenv("TESSALY_DISCOVERY_ADDRESSES", server.DiscoveryEntry().c_str(), 1);
#endif

    std::printf("IMU poll period as the runtime sees it, %g s per session, scenario %s\n\n", seconds, scenario.c_str());
    std::printf("%-10s %-22s %12s %12s %12s\n", "recording", "device", "median ms", "p99 ms", "samples");
    std::vector<std::string> recordingLines;
    for (bool recording : {false, true}) {
        for (const sRow& row : RunSession(recording, scenario, seconds, work / "bench.vrsettings")) {
            std::printf("%-10s %-22s %12.3f %12.3f %12llu\n", recording ? "on" : "off", row.device.c_str(),
                        row.pollMedianMs, row.pollP99Ms, static_cast<unsigned long long>(row.samplesRead));
            if (!row.recordingLine.empty()) recordingLines.push_back(row.recordingLine);
        }
    }
    std::printf("\n");
    for (const std::string& line : recordingLines) std::printf("%s\n", line.c_str());
    server.Stop();
    std::error_code ignored;
    std::filesystem::remove_all(work, ignored);
    return 0;
}
