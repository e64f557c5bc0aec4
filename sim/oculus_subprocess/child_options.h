// Options of the stand-in child. The driver starts it without arguments, so they
// come from environment variables the host sets before the driver starts it:
//   HALVEX_OCULUS_SIM_SCENARIO          motion scenario (default "still")
//   HALVEX_OCULUS_SIM_RIGID_BODY        the head's rigid body ID, seeding the scenario (default 1)
//   HALVEX_OCULUS_SIM_SCENARIO_EPOCH    monotonic second the scenario starts at (default 0)
//   HALVEX_OCULUS_SIM_EXIT_AFTER        exit after writing N samples
//   HALVEX_OCULUS_SIM_STALL_AFTER       stop writing after N samples but keep running (0: never write)
//   HALVEX_OCULUS_SIM_BAD_INDEX_AFTER   after N samples publish a write index outside the ring
//   HALVEX_OCULUS_SIM_FUTURE_STAMP_AT   stamp sample N (from 0) an hour in the future
//   HALVEX_OCULUS_SIM_START_DELAY       seconds to wait before opening the mapping (a slow start)
//   HALVEX_OCULUS_SIM_MAPPING           mapping name (default the driver's)
//   HALVEX_OCULUS_SIM_LIFETIME          seconds after which it ends by itself (default 3600)
//   HALVEX_OCULUS_SIM_PID_FILE          file that receives its process id once it writes
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace oculus_sim {

struct sChildOptions {
    std::string scenario = "still";
    int32_t rigidBodyId = 1;
    int64_t exitAfter = -1;  // -1: off
    int64_t stallAfter = -1;
    int64_t badIndexAfter = -1;
    int64_t futureStampAt = -1;
    double startDelaySeconds = 0.0;
    double scenarioEpoch = 0.0;
    std::string mappingName = "HalvexOpenvrOculusSharedMemory";
    double lifetimeSeconds = 3600.0;
    std::string pidFile;
};

// `lookup` returns the variable's value, or nullptr when unset. False with a one-line
// reason for a value it cannot use (an unknown scenario, a malformed number).
bool ReadChildOptions(const std::function<const char*(const char*)>& lookup,
                      const std::vector<std::string>& knownScenarios, sChildOptions* options, std::string* error);

}  // namespace oculus_sim
