// Command line of corvane_sim.
#pragma once

#include "sim/sensor_profile.h"

#include <cstdint>
#include <string>
#include <vector>

namespace corvane_sim {

struct sRigidBodyOption {
    int32_t id = 0;
    std::string scenario = "still";
};

struct sOptions {
    std::string address = "127.0.0.1";
    uint16_t port = 29170;
    double rateHz = 120.0;
    double latencyMs = 5.0;
    std::vector<sRigidBodyOption> rigidBodies;
    bool multicast = false;
    double durationSeconds = 3600.0;  // it always stops by itself
    int untrackedEvery = 0;
    bool silent = false;        // accepts connections and answers, never streams
    bool controlStdin = false;  // fault commands on standard input (fault_commands.h)
    sim::eSensorProfile profile = sim::eSensorProfile::Ideal;
    sim::sSensorErrorOverrides errors;  // over the profile's, for every body
    // Monotonic second the scenarios start at (sim/scenario_epoch.h); "now" takes
    // the parse's `now`.
    double scenarioEpoch = 0.0;
    bool help = false;
};

// False with a one-line reason in `error` for anything it cannot use, including
// non-loopback addresses and scenarios not in `knownScenarios`.
bool ParseOptions(const std::vector<std::string>& args, const std::vector<std::string>& knownScenarios,
                  sOptions* options, std::string* error, double now = 0.0);

std::string Usage();

}  // namespace corvane_sim
