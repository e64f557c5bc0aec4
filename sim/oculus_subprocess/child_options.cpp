#include "child_options.h"

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdlib>

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
    if (const char* lifetime = lookup("HALVEX_OCULUS_SIM_LIFETIME")) {
        char* end = nullptr;
        const double seconds = std::strtod(lifetime, &end);
        if (!*lifetime || *end != '\0' || !std::isfinite(seconds) || seconds <= 0.0) {
            *error = std::string("HALVEX_OCULUS_SIM_LIFETIME must be a positive number of seconds, not '") + lifetime + "'";
            return false;
        }
        options->lifetimeSeconds = seconds;
    }
    if (const char* delay = lookup("HALVEX_OCULUS_SIM_START_DELAY")) {
        char* end = nullptr;
        const double seconds = std::strtod(delay, &end);
        if (!*delay || *end != '\0' || !std::isfinite(seconds) || seconds < 0.0 || seconds > 3600.0) {
            *error = std::string("HALVEX_OCULUS_SIM_START_DELAY must be 0 to 3600 seconds, not '") + delay + "'";
            return false;
        }
        options->startDelaySeconds = seconds;
    }
    return true;
}

}  // namespace oculus_sim
