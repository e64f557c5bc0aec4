#include "corvane_options.h"

#include "sim/scenario_epoch.h"
#include "sim/sensor_error_options.h"

#include "loopback_address.h"

#include <cerrno>
#include <cmath>
#include <cstdlib>

namespace corvane_sim {

namespace {

bool ParseNumber(const std::string& text, double low, double high, double* out) {
    if (text.empty()) return false;
    char* end = nullptr;
    errno = 0;
    const double value = std::strtod(text.c_str(), &end);
    if (errno != 0 || end != text.c_str() + text.size() || !std::isfinite(value)) return false;
    if (value < low || value > high) return false;
    *out = value;
    return true;
}

bool ParseInteger(const std::string& text, long long low, long long high, long long* out) {
    if (text.empty()) return false;
    char* end = nullptr;
    errno = 0;
    const long long value = std::strtoll(text.c_str(), &end, 10);
    if (errno != 0 || end != text.c_str() + text.size() || value < low || value > high) return false;
    *out = value;
    return true;
}

std::string Join(const std::vector<std::string>& names) {
    std::string joined;
    for (const std::string& n : names) joined += (joined.empty() ? "" : ", ") + n;
    return joined;
}

}  // namespace

std::string Usage() {
    return "usage: corvane_sim [--address 127.x.y.z] [--port N] [--rate HZ] [--latency-ms MS]\n"
           "                   [--rigid-body ID[:SCENARIO]]... [--unicast|--multicast]\n"
           "                   [--duration SECONDS] [--untracked-every N] [--silent] [--control-stdin]\n"
           "                   [--profile ideal|realistic]\n"
           "                   [--rigid-body-error RX,RY,RZ,TX,TY,TZ] [--latency-stamp-error MS]\n"
           "                   [--imu-to-head-error RX,RY,RZ,TX,TY,TZ]\n"
           "                   [--scenario-epoch now|SECONDS]\n"
           "Serves simulated rigid bodies on a loopback address until the duration (default 3600 s)\n"
           "has passed or Ctrl+C. Scenarios default to \"still\". The sensor profile (default ideal)\n"
           "sets the optical noise, dropouts and, realistic, stamp errors and occlusion bursts.\n"
           "--silent: accept connections but never stream. --control-stdin: read fault commands from\n"
           "standard input, one a line: silence SECONDS, garbage COUNT, nan-frames COUNT, absurd-count COUNT.\n"
           "--scenario-epoch: the scenarios start at that monotonic second (\"now\": at start, printed)\n"
           "instead of at the clock's zero; give vrhost the same value.\n";
}

bool ParseOptions(const std::vector<std::string>& args, const std::vector<std::string>& knownScenarios,
                  sOptions* options, std::string* error, double now) {
    *options = sOptions{};
    bool unicastGiven = false, multicastGiven = false;
    for (size_t i = 0; i < args.size(); ++i) {
        const std::string& name = args[i];
        auto value = [&](std::string* out) {
            if (i + 1 >= args.size()) {
                *error = name + " needs a value";
                return false;
            }
            *out = args[++i];
            return true;
        };
        std::string text;
        if (name == "--help" || name == "-h") {
            options->help = true;
        } else if (name == "--address") {
            if (!value(&text)) return false;
            uint32_t address = 0;
            if (!tessaly::net::ParseIPv4(text, &address)) {
                *error = "--address: \"" + text + "\" is not an IPv4 address";
                return false;
            }
            if (!tessaly::net::IsLoopback(address)) {
                *error = "--address: " + text + " is not a loopback address (127.x.y.z); refusing to serve on it";
                return false;
            }
            options->address = text;
        } else if (name == "--port") {
            long long port = 0;
            if (!value(&text)) return false;
            if (!ParseInteger(text, 1, 65535, &port)) {
                *error = "--port: expected 1..65535, got \"" + text + "\"";
                return false;
            }
            options->port = static_cast<uint16_t>(port);
        } else if (name == "--rate") {
            if (!value(&text)) return false;
            if (!ParseNumber(text, 1.0, 1000.0, &options->rateHz)) {
                *error = "--rate: expected 1..1000 Hz, got \"" + text + "\"";
                return false;
            }
        } else if (name == "--latency-ms") {
            if (!value(&text)) return false;
            if (!ParseNumber(text, 0.0, 1000.0, &options->latencyMs)) {
                *error = "--latency-ms: expected 0..1000, got \"" + text + "\"";
                return false;
            }
        } else if (name == "--rigid-body") {
            if (!value(&text)) return false;
            sRigidBodyOption body;
            const size_t colon = text.find(':');
            long long id = 0;
            if (!ParseInteger(text.substr(0, colon), INT32_MIN, INT32_MAX, &id)) {
                *error = "--rigid-body: \"" + text + "\" does not start with a 32-bit rigid body ID";
                return false;
            }
            body.id = static_cast<int32_t>(id);
            if (colon != std::string::npos) body.scenario = text.substr(colon + 1);
            bool known = false;
            for (const std::string& s : knownScenarios) known = known || s == body.scenario;
            if (!known) {
                *error = "--rigid-body: unknown scenario \"" + body.scenario + "\" (known: " + Join(knownScenarios) + ")";
                return false;
            }
            for (const sRigidBodyOption& other : options->rigidBodies) {
                if (other.id == body.id) {
                    *error = "--rigid-body: ID " + std::to_string(body.id) + " given twice";
                    return false;
                }
            }
            options->rigidBodies.push_back(body);
        } else if (name == "--unicast") {
            unicastGiven = true;
        } else if (name == "--multicast") {
            multicastGiven = true;
        } else if (name == "--duration") {
            if (!value(&text)) return false;
            if (!ParseNumber(text, 0.001, 86400.0, &options->durationSeconds)) {
                *error = "--duration: expected 0.001..86400 seconds, got \"" + text + "\"";
                return false;
            }
        } else if (name == "--untracked-every") {
            long long n = 0;
            if (!value(&text)) return false;
            if (!ParseInteger(text, 0, 1000000, &n)) {
                *error = "--untracked-every: expected 0..1000000, got \"" + text + "\"";
                return false;
            }
            options->untrackedEvery = static_cast<int>(n);
        } else if (name == "--silent") {
            options->silent = true;
        } else if (name == "--control-stdin") {
            options->controlStdin = true;
        } else if (name == "--rigid-body-error" || name == "--latency-stamp-error" || name == "--imu-to-head-error") {
            if (!value(&text)) return false;
            bool ok = true;
            sim::TakeSensorErrorOption(name, text, options->errors, ok, *error);
            if (!ok) return false;
        } else if (name == "--scenario-epoch") {
            if (!value(&text)) return false;
            if (!sim::ParseScenarioEpoch(text, now, options->scenarioEpoch, *error)) return false;
        } else if (name == "--profile") {
            if (!value(&text)) return false;
            if (!sim::ParseSensorProfile(text, options->profile)) {
                *error = "--profile: expected ideal or realistic, got \"" + text + "\"";
                return false;
            }
        } else {
            *error = "unknown option \"" + name + "\"";
            return false;
        }
    }
    if (unicastGiven && multicastGiven) {
        *error = "--unicast and --multicast exclude each other";
        return false;
    }
    options->multicast = multicastGiven;
    return true;
}

}  // namespace corvane_sim
