// halvex_oculus_subprocess (stand-in): plays the headset runtime's side of the Oculus
// link. Opens the driver's mapping and writes a scenario's headset samples into the
// ring at 1000 Hz on the absolute millisecond grid, stamped with the performance
// counter. Options come from the environment (child_options.h).
#include "child_options.h"
#include "headset_motion.h"
#include "ring_writer.h"

#include "platform/clock.h"
#include "platform/shared_memory.h"
#include "platform/sleep.h"
#include "sim/motion_scenario.h"
#include "sim/scenario_epoch.h"
#include "sim/tracking_geometry.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>

#if defined(_WIN32)
#include <process.h>
#else
#include <unistd.h>
#endif

namespace {

// Written whole under a temporary name, so a reader never sees half a number.
void WriteProcessId(const std::string& path) {
#if defined(_WIN32)
    const long long id = _getpid();
#else
    const long long id = getpid();
#endif
    const std::string temporary = path + ".tmp";
    std::FILE* file = std::fopen(temporary.c_str(), "w");
    if (!file) return;
    std::fprintf(file, "%lld\n", id);
    std::fclose(file);
    std::remove(path.c_str());
    std::rename(temporary.c_str(), path.c_str());
}

}  // namespace

int main() {
    oculus_sim::sChildOptions options;
    std::string error;
    if (!oculus_sim::ReadChildOptions([](const char* name) { return std::getenv(name); },
                                      sim::cMotionScenario::Names(), &options, &error)) {
        std::fprintf(stderr, "halvex_oculus_subprocess: %s\n", error.c_str());
        return 2;
    }
    // A real child may take seconds to find its headset runtime before it opens the mapping.
    if (options.startDelaySeconds > 0.0) halvex::platform::SleepFor(options.startDelaySeconds);
    halvex::platform::cSharedMemory memory;
    if (!memory.OpenExisting(options.mappingName, oculus_sim::kMappingSize)) {
        std::fprintf(stderr, "halvex_oculus_subprocess: cannot open the shared memory '%s' (%d)\n",
                     options.mappingName.c_str(), memory.LastError());
        return 1;
    }
    const auto scenario = sim::StartedAt(
        sim::cMotionScenario::Create(options.scenario, sim::SeedForRigidBody(options.rigidBodyId)),
        options.scenarioEpoch);
    oculus_sim::cRingWriter ring(memory.Data());
    if (!options.pidFile.empty()) WriteProcessId(options.pidFile);

    const double frequency = static_cast<double>(halvex::platform::TickFrequency());
    const double start = halvex::platform::NowSeconds();
    int64_t index = static_cast<int64_t>(std::ceil(start * 1000.0));
    int64_t written = 0;
    for (;;) {
        const double t = static_cast<double>(index) / 1000.0;
        if (t - start > options.lifetimeSeconds) return 0;
        halvex::platform::SleepFor(t - halvex::platform::NowSeconds());
        ++index;
        if (written == options.exitAfter) return 0;
        if (written == options.badIndexAfter) ring.PublishWriteIndex(0x7FFFFFF0u);
        if (written == options.stallAfter || written == options.badIndexAfter) continue;  // alive, silent
        // A counter value an hour ahead: what a clock fault or a bad conversion in a real child gives.
        const double stampTime = written == options.futureStampAt ? t + 3600.0 : t;
        const auto timestamp = static_cast<int64_t>(std::llround(stampTime * frequency));
        if (ring.Write(oculus_sim::HeadsetSampleAt(*scenario, t, timestamp))) ++written;
    }
}
