// Deterministic head motions defined on absolute monotonic time, so separate
// processes (driver, simulated servers, benches) agree on the truth without
// sharing an epoch (scenario_epoch.h starts one at a second the processes share).
#pragma once

#include <Eigen/Core>
#include <Eigen/Geometry>

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace sim {

struct sMotionState {
    Eigen::Vector3d position;         // metres, tracking space, y up
    Eigen::Quaterniond orientation;   // world-from-body, unit
    Eigen::Vector3d velocity;         // m/s, world
    Eigen::Vector3d acceleration;     // m/s^2, world, without gravity
    Eigen::Vector3d angularVelocity;  // rad/s, body frame
};

class cMotionScenario {
public:
    // Null when the name is unknown. Deterministic: same name + seed = same motion.
    static std::unique_ptr<cMotionScenario> Create(const std::string& name, uint32_t seed = 1);
    static std::vector<std::string> Names();
    virtual ~cMotionScenario() = default;
    // t: absolute monotonic seconds (driver time); periodic, so any t works
    virtual sMotionState At(double t) const = 0;
};

}  // namespace sim
