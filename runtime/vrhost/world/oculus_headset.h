// The simulated Oculus headset. Its runtime's side is the stand-in child program,
// which the driver starts by itself from its folder's bin/<platform>/: vrhost puts the
// program there and tells it, through the environment that the driver's child
// inherits from this process, which scenario and rigid body the headset follows.
#pragma once

#include <cstdint>
#include <filesystem>
#include <string>

namespace vrhost {

// The stand-in child beside this program (build/<preset>/bin/).
std::filesystem::path OculusChildBesideProgram();

// Copies `program` into the driver folder's bin/<platform>/ unless the same file is
// there already. Throws cHostError when it cannot (no program, no folder to write).
void InstallOculusChild(const std::filesystem::path& program, const std::filesystem::path& driverFolder);

// The scenario and the head's rigid body (0: none, the headset moves all the same)
// for every child started from now on.
void ConfigureOculusChild(const std::string& scenario, int32_t headRigidBodyId, double scenarioEpoch);

}  // namespace vrhost
