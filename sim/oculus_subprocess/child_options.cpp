#include "child_options.h"

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdlib>
#include <limits>

namespace oculus_sim {
namespace {

bool ParseInteger(const char* text, int64_t minimum, int64_t maximum, int64_t* value) {
    if (!text || !*text) return false;
    errno = 0;
    char* end = nullptr;
    const long long parsed = std::strtoll(text, &end, 10);
    if (errno != 0 || *end != '\0' || parsed < minimum || parsed > maximum) return false;
    *value = parsed;
    return true;
}

// Seconds from variable `name` within [minimum, maximum] (the minimum itself only when
// `minimumAllowed`); an unset variable leaves `seconds` as it is.
bool ReadSeconds(const std::function<const char*(const char*)>& lookup, const char* name, double minimum,
                 bool minimumAllowed, double maximum, const char* expected, double* seconds, std::string* error) {
    const char* text = lookup(name);
    if (!text) return true;
    char* end = nullptr;
    const double value = std::strtod(text, &end);
    if (!*text || *end != '\0' || !std::isfinite(value) || value < minimum || (!minimumAllowed && value == minimum) ||
        value > maximum) {
        *error = std::string(name) + " must be " + expected + ", not '" + text + "'";
        return false;
    }
    *seconds = value;
    return true;
}

}  // namespace

bool ReadChildOptions(const std::function<const char*(const char*)>& lookup,
                      const std::vector<std::string>& knownScenarios, sChildOptions* options, std::string* error) {
    if (const char* scenario = lookup("HALVEX_OCULUS_SIM_SCENARIO")) {
        if (std::find(knownScenarios.begin(), knownScenarios.end(), scenario) == knownScenarios.end()) {
            *error = std::string("unknown scenario '") + scenario + "'";
            return false;
        }
        options->scenario = scenario;
    }
    struct sCount {
        const char* name;
        int64_t* value;
        int64_t minimum;
        int64_t maximum;
    };
    int64_t rigidBody = options->rigidBodyId;
    const sCount counts[] = {
        {"HALVEX_OCULUS_SIM_RIGID_BODY", &rigidBody, INT32_MIN, INT32_MAX},
        {"HALVEX_OCULUS_SIM_EXIT_AFTER", &options->exitAfter, 0, INT64_MAX},
        {"HALVEX_OCULUS_SIM_STALL_AFTER", &options->stallAfter, 0, INT64_MAX},
        {"HALVEX_OCULUS_SIM_BAD_INDEX_AFTER", &options->badIndexAfter, 0, INT64_MAX},
        {"HALVEX_OCULUS_SIM_FUTURE_STAMP_AT", &options->futureStampAt, 0, INT64_MAX},
    };
    for (const sCount& count : counts) {
        const char* text = lookup(count.name);
        if (!text) continue;
        if (!ParseInteger(text, count.minimum, count.maximum, count.value)) {
            *error = std::string(count.name) + " must be a whole number, not '" + text + "'";
            return false;
        }
    }
    options->rigidBodyId = static_cast<int32_t>(rigidBody);
    if (const char* mapping = lookup("HALVEX_OCULUS_SIM_MAPPING")) {
        if (!*mapping) {
            *error = "HALVEX_OCULUS_SIM_MAPPING must not be empty";
            return false;
        }
        options->mappingName = mapping;
    }
    if (const char* pidFile = lookup("HALVEX_OCULUS_SIM_PID_FILE")) options->pidFile = pidFile;
    const double kNoLimit = std::numeric_limits<double>::max();
    return ReadSeconds(lookup, "HALVEX_OCULUS_SIM_LIFETIME", 0.0, false, kNoLimit, "a positive number of seconds",
                       &options->lifetimeSeconds, error) &&
           ReadSeconds(lookup, "HALVEX_OCULUS_SIM_START_DELAY", 0.0, true, 3600.0, "0 to 3600 seconds",
                       &options->startDelaySeconds, error) &&
           ReadSeconds(lookup, "HALVEX_OCULUS_SIM_SCENARIO_EPOCH", 0.0, true, kNoLimit,
                       "monotonic seconds, not negative", &options->scenarioEpoch, error);
}

}  // namespace oculus_sim
