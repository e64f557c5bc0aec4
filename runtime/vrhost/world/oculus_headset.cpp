#include "vrhost/world/oculus_headset.h"

#include "vrhost/host/driver_location.h"
#include "vrhost/host/host_error.h"

#include "platform/child_process.h"
#include "platform/environment.h"
#include "platform/module_location.h"

#include <cstdio>
#include <cstdlib>
#include <system_error>

namespace vrhost {
namespace {

namespace fs = std::filesystem;

using halvex::platform::SetEnvironment;

bool SameContents(const fs::path& a, const fs::path& b) {
    std::string first, second;
    return ReadWholeFile(a, first) && ReadWholeFile(b, second) && first == second;
}

}  // namespace

fs::path OculusChildBesideProgram() {
    return fs::u8path(halvex::platform::ThisModuleFolder() +
                      halvex::platform::ExecutableFileName("halvex_oculus_subprocess"));
}

void InstallOculusChild(const fs::path& program, const fs::path& driverFolder) {
    const fs::path target = driverFolder / "bin" / DriverPlatformDir() / program.filename();
    std::error_code error;
    if (!fs::is_regular_file(program, error))
        throw cHostError("--hmd oculus: the stand-in child " + program.u8string() + " is missing (build target " +
                         "halvex_oculus_subprocess)");
    if (fs::exists(target, error) && SameContents(program, target)) return;
    // Removed first: some standard libraries refuse to overwrite on Windows.
    fs::remove(target, error);
    error.clear();
    fs::copy_file(program, target, error);
    if (error)
        throw cHostError("--hmd oculus: cannot install the stand-in child as " + target.u8string() + ": " +
                         error.message());
}

void ConfigureOculusChild(const std::string& scenario, int32_t headRigidBodyId, double scenarioEpoch) {
    SetEnvironment("HALVEX_OCULUS_SIM_SCENARIO", scenario);
    SetEnvironment("HALVEX_OCULUS_SIM_RIGID_BODY", std::to_string(headRigidBodyId));
    char epoch[64];
    std::snprintf(epoch, sizeof epoch, "%.9f", scenarioEpoch);
    SetEnvironment("HALVEX_OCULUS_SIM_SCENARIO_EPOCH", epoch);
}

}  // namespace vrhost
