#include "motion_scenario.h"

#include "channel_motion_scenario.h"
#include "seeded_random.h"

#include <cmath>

namespace sim {
namespace {

constexpr double kPi = 3.14159265358979323846;

// Per-seed variation: phases anywhere, amplitudes within +-10 %.
struct sVariation {
    explicit sVariation(uint32_t seed) : random(0x5EED0000ull ^ seed) {}
    double Phase() { return random.Uniform(0.0, 2.0 * kPi); }
    double Scale(double amplitude) { return amplitude * random.Uniform(0.9, 1.1); }
    cSeededRandom random;
};

sMotionChannels Still(sVariation& v) {
    sMotionChannels c;
    c.period = 1.0;
    c.x = cMotionChannel(v.random.Uniform(-0.3, 0.3));
    c.y = cMotionChannel(v.random.Uniform(1.55, 1.75));
    c.z = cMotionChannel(v.random.Uniform(-0.3, 0.3));
    c.yaw = cMotionChannel(v.random.Uniform(-kPi, kPi));
    c.pitch = cMotionChannel(v.random.Uniform(-0.2, 0.2));
    c.roll = cMotionChannel(v.random.Uniform(-0.05, 0.05));
    return c;
}

// Looking around while standing: yaw sweeps peaking near 4 rad/s, nods, slight sway.
sMotionChannels HeadTurns(sVariation& v) {
    sMotionChannels c;
    c.period = 8.0;
    const double w0 = 2.0 * kPi / c.period;
    c.x = cMotionChannel(0.0).AddSine(v.Scale(0.03), 2 * w0, v.Phase()).AddSine(0.01, 5 * w0, v.Phase());
    c.y = cMotionChannel(1.65).AddSine(v.Scale(0.01), 3 * w0, v.Phase());
    c.z = cMotionChannel(0.0).AddSine(v.Scale(0.02), 2 * w0, v.Phase()).AddSine(0.01, 7 * w0, v.Phase());
    c.yaw = cMotionChannel(0.0).AddSine(v.Scale(0.9), 4 * w0, v.Phase()).AddSine(v.Scale(0.15), 11 * w0, v.Phase());
    c.pitch = cMotionChannel(-0.05).AddSine(v.Scale(0.35), 3 * w0, v.Phase()).AddSine(v.Scale(0.08), 9 * w0, v.Phase());
    c.roll = cMotionChannel(0.0).AddSine(v.Scale(0.05), 5 * w0, v.Phase());
    return c;
}

// Walking a 3 m circle at 1 m/s, facing the way of travel, with step bob and sway.
sMotionChannels Walk(sVariation& v) {
    sMotionChannels c;
    const double radius = 3.0;
    const double speed = 1.0;
    c.period = 2.0 * kPi * radius / speed;
    const double w0 = speed / radius;
    const int stepHarmonic = 34;  // ~1.8 steps per second
    const int swayHarmonic = stepHarmonic / 2;
    const double sway = v.Scale(0.02);
    const double swayPhase = v.Phase();
    // Forward for yaw psi is (-sin psi, 0, -cos psi); the circle below moves that way
    // with psi = w0 tau. Sideways sway along (cos, 0, -sin) is expanded into sines.
    c.x = cMotionChannel(0.0)
              .AddSine(radius, w0, kPi / 2)
              .AddSine(sway / 2, (swayHarmonic + 1) * w0, swayPhase)
              .AddSine(sway / 2, (swayHarmonic - 1) * w0, swayPhase);
    c.z = cMotionChannel(0.0)
              .AddSine(-radius, w0, 0.0)
              .AddSine(sway / 2, (swayHarmonic + 1) * w0, swayPhase + kPi / 2)
              .AddSine(sway / 2, (swayHarmonic - 1) * w0, swayPhase - kPi / 2);
    c.y = cMotionChannel(1.7).AddSine(v.Scale(0.025), stepHarmonic * w0, v.Phase());
    c.yaw = cMotionChannel(0.0, w0).AddSine(v.Scale(0.25), 10 * w0, v.Phase()).AddSine(0.02, swayHarmonic * w0, v.Phase());
    c.pitch = cMotionChannel(-0.15).AddSine(v.Scale(0.1), 5 * w0, v.Phase()).AddSine(0.02, stepHarmonic * w0, v.Phase());
    c.roll = cMotionChannel(0.0).AddSine(v.Scale(0.02), swayHarmonic * w0, v.Phase());
    return c;
}

// Sharp glances: dwell, then swing at up to ~8 rad/s.
sMotionChannels Fast(sVariation& v) {
    sMotionChannels c;
    c.period = 4.0;
    const double w0 = 2.0 * kPi / c.period;
    c.x = cMotionChannel(0.0).AddSine(v.Scale(0.05), 2 * w0, v.Phase());
    c.y = cMotionChannel(1.65).AddSine(v.Scale(0.02), 3 * w0, v.Phase());
    c.z = cMotionChannel(0.0).AddSine(v.Scale(0.04), 4 * w0, v.Phase());
    c.yaw = cMotionChannel(0.0).AddSharpSwing(v.Scale(1.0), 2.4, 2 * w0, v.Phase()).AddSine(0.05, 7 * w0, v.Phase());
    c.pitch = cMotionChannel(-0.05).AddSharpSwing(v.Scale(0.35), 2.0, 3 * w0, v.Phase());
    c.roll = cMotionChannel(0.0).AddSine(v.Scale(0.1), 5 * w0, v.Phase());
    return c;
}

// What a wearer is told to do for a calibration, one minute: turn the head slowly
// about all three axes (yaw, nods, tilts), with quicker small nods, tilts and
// shakes on top (the angular accelerations that show where the IMU sits), and a
// few steps about the room with their bob; a hand waved and turned does the same.
sMotionChannels Calibration(sVariation& v) {
    sMotionChannels c;
    c.period = 60.0;
    const double w0 = 2.0 * kPi / c.period;
    c.x = cMotionChannel(0.0).AddSine(v.Scale(0.4), 3 * w0, v.Phase()).AddSine(v.Scale(0.05), 37 * w0, v.Phase());
    c.y = cMotionChannel(1.6).AddSine(v.Scale(0.06), 57 * w0, v.Phase()).AddSine(v.Scale(0.08), 5 * w0, v.Phase());
    c.z = cMotionChannel(0.0).AddSine(v.Scale(0.4), 2 * w0, v.Phase()).AddSine(v.Scale(0.05), 41 * w0, v.Phase());
    c.yaw = cMotionChannel(0.0)
                .AddSine(v.Scale(1.0), 7 * w0, v.Phase())
                .AddSine(v.Scale(0.3), 23 * w0, v.Phase())
                .AddSine(v.Scale(0.2), 53 * w0, v.Phase());
    c.pitch = cMotionChannel(-0.05)
                  .AddSine(v.Scale(0.5), 11 * w0, v.Phase())
                  .AddSine(v.Scale(0.15), 29 * w0, v.Phase())
                  .AddSine(v.Scale(0.15), 61 * w0, v.Phase());
    c.roll = cMotionChannel(0.0)
                 .AddSine(v.Scale(0.45), 13 * w0, v.Phase())
                 .AddSine(v.Scale(0.12), 31 * w0, v.Phase())
                 .AddSine(v.Scale(0.12), 71 * w0, v.Phase());
    return c;
}

}  // namespace

std::vector<std::string> cMotionScenario::Names() { return {"still", "head-turns", "walk", "fast", "calibration"}; }

std::unique_ptr<cMotionScenario> cMotionScenario::Create(const std::string& name, uint32_t seed) {
    sVariation variation(seed);
    if (name == "still") return std::make_unique<cChannelMotionScenario>(Still(variation));
    if (name == "head-turns") return std::make_unique<cChannelMotionScenario>(HeadTurns(variation));
    if (name == "walk") return std::make_unique<cChannelMotionScenario>(Walk(variation));
    if (name == "fast") return std::make_unique<cChannelMotionScenario>(Fast(variation));
    if (name == "calibration") return std::make_unique<cChannelMotionScenario>(Calibration(variation));
    return nullptr;
}

}  // namespace sim
