#include "scenario_epoch.h"

#include <cmath>
#include <cstdlib>

namespace sim {

cEpochMotion::cEpochMotion(std::unique_ptr<cMotionScenario> motion, double epoch)
    : mMotion(std::move(motion)), mEpoch(epoch) {}

sMotionState cEpochMotion::At(double t) const { return mMotion->At(t - mEpoch); }

std::unique_ptr<cMotionScenario> StartedAt(std::unique_ptr<cMotionScenario> motion, double epoch) {
    if (!motion || epoch == 0.0) return motion;
    return std::make_unique<cEpochMotion>(std::move(motion), epoch);
}

bool ParseScenarioEpoch(const std::string& text, double now, double& epoch, std::string& reason) {
    if (text == "now") {
        epoch = now;
        return true;
    }
    char* end = nullptr;
    const double value = text.empty() ? 0.0 : std::strtod(text.c_str(), &end);
    if (text.empty() || end != text.c_str() + text.size() || !std::isfinite(value) || value < 0.0) {
        reason = "--scenario-epoch: expected \"now\" or monotonic seconds (a finite number, not negative), got \"" +
                 text + "\"";
        return false;
    }
    epoch = value;
    return true;
}

}  // namespace sim
