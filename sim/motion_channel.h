// One scalar coordinate of a periodic motion with its exact first and second
// derivatives: offset + rate * tau + a sum of smooth periodic terms.
#pragma once

#include <vector>

namespace sim {

struct sChannelValue {
    double value = 0.0;
    double rate = 0.0;          // d/dt
    double acceleration = 0.0;  // d2/dt2
};

class cMotionChannel {
public:
    explicit cMotionChannel(double offset = 0.0, double linearRate = 0.0);
    // amplitude * sin(omega * tau + phase)
    cMotionChannel& AddSine(double amplitude, double omega, double phase);
    // amplitude * tanh(sharpness * sin(omega * tau + phase)): dwell, then a quick swing
    cMotionChannel& AddSharpSwing(double amplitude, double sharpness, double omega, double phase);
    // tau is time already reduced into the scenario period
    sChannelValue At(double tau) const;

private:
    struct sTerm {
        double amplitude;
        double sharpness;  // 0 for a plain sine
        double omega;
        double phase;
    };
    double m_offset;
    double m_linearRate;
    std::vector<sTerm> m_terms;
};

}  // namespace sim
