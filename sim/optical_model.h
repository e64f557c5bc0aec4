// The motion-capture system seen from the truth of a motion scenario: frames on
// a fixed-rate grid, delivered after a latency, with pose noise and dropouts; and
// where real systems err: exposure times that jitter, a latency that varies from
// frame to frame and a stamp that misjudges it, bursts of occlusion.
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
    double frameTimeJitter = 0.0;      // s, standard deviation of the exposure around the grid (stamped right)
    // The pose is older than its stamp says by latencyStampError on average, with a
    // half-normal per-frame part of scale latencyJitter (its mean taken off).
    double latencyStampError = 0.0;    // s
    double latencyJitter = 0.0;        // s
    // Occlusion: in every slot of occlusionSlot seconds a burst starts with
    // probability occlusionProbability, lasting occlusionMin..occlusionMax seconds.
    double occlusionProbability = 0.0;
    double occlusionSlot = 4.0;        // s, longer than occlusionMax
    double occlusionMin = 0.2;         // s
    double occlusionMax = 1.0;         // s
};

struct sOpticalFrame {
    double captureTime = 0.0;   // the moment the frame's stamp claims
    double truthTime = 0.0;     // the moment the pose describes
    double deliveryTime = 0.0;  // when the pose becomes available
    Eigen::Vector3d position = Eigen::Vector3d::Zero();
    Eigen::Quaterniond orientation = Eigen::Quaterniond::Identity();  // world-from-body, unit
    bool dropped = false;       // never arrives: lost, or occluded
    bool occluded = false;
};

class cOpticalModel {
public:
    // The scenario must outlive the model.
    cOpticalModel(const cMotionScenario& scenario, const sOpticalModelParams& params, uint32_t seed);

    // Frames sit on the grid index / rate; noise and dropouts depend only on seed and index.
    sOpticalFrame Frame(int64_t index) const;
    // The frame a server with its own clock stamps `stamp`: noise and dropouts of
    // the nearest grid index, no frame-time jitter (the server's timing is its own).
    sOpticalFrame FrameAtStamp(double stamp) const;
    bool Occluded(double time) const;
    int64_t FirstIndexAtOrAfter(double captureTime) const;
    const sOpticalModelParams& Params() const { return mParams; }

private:
    sOpticalFrame MakeFrame(int64_t index, double stamp) const;

    const cMotionScenario& mScenario;
    sOpticalModelParams mParams;
    uint32_t mSeed;
};

}  // namespace sim
