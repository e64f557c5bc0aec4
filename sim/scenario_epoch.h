// A scenario started at a chosen monotonic second instead of at the clock's zero.
// Scenarios run on absolute time so that separate processes agree without sharing
// anything; runs that must be compared in pairs (before and after a calibration)
// also need the same stretch of motion and the same occlusion bursts, so each run
// passes every one of its programs the second it started at.
#pragma once

#include "motion_scenario.h"

#include <memory>
#include <string>

namespace sim {

// The scenario's time is the clock's seconds minus `epoch`.
class cEpochMotion final : public cMotionScenario {
public:
    cEpochMotion(std::unique_ptr<cMotionScenario> motion, double epoch);
    sMotionState At(double t) const override;

private:
    std::unique_ptr<cMotionScenario> mMotion;
    double mEpoch;
};

// `motion` itself for an epoch of 0 (and for a null motion), else it started at `epoch`.
std::unique_ptr<cMotionScenario> StartedAt(std::unique_ptr<cMotionScenario> motion, double epoch);

// "--scenario-epoch": "now" (the caller's `now`) or monotonic seconds, finite and
// not negative. False with a one-line reason otherwise.
bool ParseScenarioEpoch(const std::string& text, double now, double& epoch, std::string& reason);

}  // namespace sim
