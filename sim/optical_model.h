// The motion-capture system seen from the truth of a motion scenario: frames on
// a fixed-rate grid, delivered after a latency, with pose noise and dropouts.
#pragma once

#include "motion_scenario.h"

#include <Eigen/Core>
#include <Eigen/Geometry>

#include <cstdint>

namespace sim {

struct sOpticalModelParams {
    double rate = 120.0;               // frames per second
    double latency = 0.012;            // s from exposure to delivery
    double positionNoise = 0.0002;     // m, standard deviation per axis
    double orientationNoise = 0.0017;  // rad, standard deviation per rotation-vector axis
    double dropProbability = 0.01;     // chance that a frame never arrives
};

struct sOpticalFrame {
    double captureTime = 0.0;   // the moment the pose describes
    double deliveryTime = 0.0;  // when the pose becomes available
    Eigen::Vector3d position = Eigen::Vector3d::Zero();
    Eigen::Quaterniond orientation = Eigen::Quaterniond::Identity();  // world-from-body, unit
    bool dropped = false;
};

class cOpticalModel {
public:
    // The scenario must outlive the model.
    cOpticalModel(const cMotionScenario& scenario, const sOpticalModelParams& params, uint32_t seed);

    // Frames sit on the grid index / rate; noise and dropouts depend only on seed and index.
    sOpticalFrame Frame(int64_t index) const;
    int64_t FirstIndexAtOrAfter(double captureTime) const;
    const sOpticalModelParams& Params() const { return mParams; }

private:
    const cMotionScenario& mScenario;
    sOpticalModelParams mParams;
    uint32_t mSeed;
};

}  // namespace sim
