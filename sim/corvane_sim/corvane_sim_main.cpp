// corvane_sim: serves rigid bodies moving along the sim/ motion scenarios to
// Tessaly clients on a loopback address.
#include "corvane_options.h"
#include "fault_commands.h"
#include "scenario_motion.h"

#include "platform/clock.h"
#include "platform/sleep.h"
#include "sim/motion_scenario.h"
#include "tessaly/server/mocap_server.h"

#include <atomic>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <iostream>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

namespace {

volatile std::sig_atomic_t gInterrupted = 0;

void OnSignal(int) { gInterrupted = 1; }

}  // namespace

int main(int argc, char** argv) {
    const std::vector<std::string> args(argv + 1, argv + argc);
    corvane_sim::sOptions options;
    std::string error;
    if (!corvane_sim::ParseOptions(args, sim::cMotionScenario::Names(), &options, &error,
                                   halvex::platform::NowSeconds())) {
        std::fprintf(stderr, "corvane_sim: %s\n%s", error.c_str(), corvane_sim::Usage().c_str());
        return 2;
    }
    if (options.help) {
        std::printf("%s", corvane_sim::Usage().c_str());
        return 0;
    }

    tessaly::server::sMocapServerConfig config;
    config.address = options.address;
    config.port = options.port;
    config.frameRateHz = options.rateHz;
    config.latencySeconds = options.latencyMs / 1000.0;
    config.multicast = options.multicast;
    config.untrackedEvery = options.untrackedEvery;
    tessaly::server::cMocapServer server(config);
    for (const corvane_sim::sRigidBodyOption& body : options.rigidBodies) {
        server.SetRigidBodyMotion(body.id,
                                  corvane_sim::ScenarioRigidBodyMotion(body.scenario, body.id, options.profile, options.rateHz,
                                                                       options.errors, options.scenarioEpoch));
    }
    server.SetEventLog([](const std::string& line) {
        std::printf("corvane_sim: %s\n", line.c_str());
        std::fflush(stdout);
    });

    std::signal(SIGINT, OnSignal);
    std::signal(SIGTERM, OnSignal);
    if (!server.Start(&error)) {
        std::fprintf(stderr, "corvane_sim: cannot serve on %s:%u: %s\n", options.address.c_str(), options.port,
                     error.c_str());
        return 1;
    }
    if (options.silent) server.PauseStream(true);
    std::atomic<bool> stopCommands{false};
    std::thread commandReader;
    if (options.controlStdin) {
        commandReader = std::thread([&] {
            std::string line, commandError;
            while (!stopCommands.load() && std::getline(std::cin, line)) {
                if (!corvane_sim::RunFaultCommand(line, server, stopCommands, &commandError))
                    std::fprintf(stderr, "corvane_sim: %s\n", commandError.c_str());
            }
        });
    }
    std::printf("corvane_sim: serving %zu rigid bodies on %s (%s) at %.1f Hz, latency %.1f ms, %s sensors, for %.0f s\n",
                options.rigidBodies.size(), server.DiscoveryEntry().c_str(),
                options.multicast ? "multicast" : "unicast", options.rateHz, options.latencyMs,
                sim::SensorProfileName(options.profile), options.durationSeconds);
    for (const corvane_sim::sRigidBodyOption& body : options.rigidBodies)
        std::printf("corvane_sim:   rigid body %d: %s\n", body.id, body.scenario.c_str());
    if (options.scenarioEpoch != 0.0) std::printf("corvane_sim: scenario epoch %.9f s\n", options.scenarioEpoch);
    std::fflush(stdout);

    const auto end = std::chrono::steady_clock::now() + std::chrono::duration_cast<std::chrono::steady_clock::duration>(
                                                            std::chrono::duration<double>(options.durationSeconds));
    while (!gInterrupted && std::chrono::steady_clock::now() < end)
        halvex::platform::SleepUntil(std::min(end, std::chrono::steady_clock::now() + std::chrono::milliseconds(100)));
    stopCommands.store(true);
    server.Stop();
    const auto stats = server.Statistics();
    std::printf("corvane_sim: %s after %llu frame datagrams\n", gInterrupted ? "interrupted" : "duration reached",
                static_cast<unsigned long long>(stats.framesSent));
    std::fflush(stdout);
    if (commandReader.joinable()) {
        // The reader may sit in a read of standard input that nothing ends: leave without unwinding.
        commandReader.detach();
        std::_Exit(0);
    }
    return 0;
}
