// How long a request holds the runtime's thread while the driver's IMU, frame and
// recording threads run: each request of the protocol, answered many times between
// frames of a hosted head-turns session. Prints median, p99 and worst in µs; the
// calibration that reload reads alternates between two values, so every reload
// replaces it and the head's filter is rebuilt each time.
//
//   request_cost [--rounds N]
#include "scenario_motion.h"

#include "platform/clock.h"
#include "platform/environment.h"
#include "tessaly/server/mocap_server.h"
#include "vrhost/host/driver_location.h"
#include "vrhost/host/host.h"
#include "vrhost/host/server_driver_host.h"
#include "vrhost/interfaces/settings_store.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

namespace {

struct sTimes {
    const char* request;
    std::vector<double> micros;
};

double Quantile(std::vector<double> values, double q) {
    std::sort(values.begin(), values.end());
    return values[static_cast<size_t>(q * static_cast<double>(values.size() - 1))];
}

using halvex::platform::SetEnvironment;

}  // namespace

int main(int argc, char** argv) {
    int rounds = 200;
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--rounds") == 0 && i + 1 < argc) {
            rounds = std::atoi(argv[++i]);
        } else {
            std::fprintf(stderr, "usage: request_cost [--rounds N]\n");
            return 2;
        }
    }
    if (rounds < 1) {
        std::fprintf(stderr, "request_cost: --rounds must be positive\n");
        return 2;
    }
    const std::filesystem::path work =
        std::filesystem::temp_directory_path() / ("halvex-bench-" + std::to_string(halvex::platform::NowTicks()));
    std::filesystem::create_directories(work);
    SetEnvironment("XDG_STATE_HOME", work.string());
    {
        std::ofstream out(work / "bench.vrsettings", std::ios::binary | std::ios::trunc);
        out << "{ \"driver_halvex\": { \"tessalyRigidBodyIdHead\": 3, \"tessalyRigidBodyIdControllerA\": 5 },\n"
            << "  \"TrackingOverrides\": { \"/devices/halvex/halvex-controller-a\": \"/devices/htc/vive_controllerLHR-BENCH5\" } }\n";
    }

    tessaly::server::sMocapServerConfig config;
    config.frameRateHz = 120.0;
    config.latencySeconds = 0.012;
    tessaly::server::cMocapServer server(config);
    for (int32_t id : {3, 5}) server.SetRigidBodyMotion(id, corvane_sim::ScenarioRigidBodyMotion("head-turns", id));
    std::string error;
    if (!server.Start(&error)) {
        std::fprintf(stderr, "request_cost: %s\n", error.c_str());
        return 1;
    }
    SetEnvironment("TESSALY_DISCOVERY_ADDRESSES", server.DiscoveryEntry());

    vrhost::sHostOptions options;
    options.settingsFile = (work / "bench.vrsettings").u8string();
    options.scenario = "head-turns";
    vrhost::cHost host(options);
    host.LoadDriver(vrhost::DriverFolderBesideProgram());
    host.Init();
    host.RunFor(2.0);
    vr::ITrackedDeviceServerDriver* head = host.ServerDriverHost().Device(1);
    if (!head) {
        std::fprintf(stderr, "request_cost: the driver added no device\n");
        return 1;
    }

    // An unknown request costs only the call, its log line and an error answer: the floor.
    std::vector<sTimes> times = {{"halvex/1 unknown", {}},      {"halvex/1 status", {}},
                                 {"halvex/1 reload", {}},       {"halvex/1 record start", {}},
                                 {"halvex/1 record stop", {}}};
    std::vector<char> answer(32768);
    for (int round = 0; round < rounds; ++round) {
        host.Settings().SetString("driver_halvex", "calibrationHeadRigidBodyInDevice",
                                  round % 2 ? "2,-1,3,20,-30,25" : "0,0,0,0,0,0", nullptr);
        for (sTimes& t : times) {
            host.RunFrames(1);
            const auto start = std::chrono::steady_clock::now();
            head->DebugRequest(t.request, answer.data(), static_cast<uint32_t>(answer.size()));
            const auto end = std::chrono::steady_clock::now();
            t.micros.push_back(std::chrono::duration<double, std::micro>(end - start).count());
        }
    }
    host.Cleanup();
    server.Stop();

    std::printf("Runtime's thread per request, %d rounds between frames of a head-turns session\n\n", rounds);
    std::printf("%-24s %12s %12s %12s\n", "request", "median us", "p99 us", "worst us");
    for (const sTimes& t : times)
        std::printf("%-24s %12.1f %12.1f %12.1f\n", t.request, Quantile(t.micros, 0.5), Quantile(t.micros, 0.99),
                    Quantile(t.micros, 1.0));
    std::error_code ignored;
    std::filesystem::remove_all(work, ignored);
    return 0;
}
