#include "motion_channel.h"

#include <cmath>

namespace sim {

cMotionChannel::cMotionChannel(double offset, double linearRate)
    : m_offset(offset), m_linearRate(linearRate) {}

cMotionChannel& cMotionChannel::AddSine(double amplitude, double omega, double phase) {
    m_terms.push_back({amplitude, 0.0, omega, phase});
    return *this;
}

cMotionChannel& cMotionChannel::AddSharpSwing(double amplitude, double sharpness, double omega,
                                              double phase) {
    m_terms.push_back({amplitude, sharpness, omega, phase});
    return *this;
}

sChannelValue cMotionChannel::At(double tau) const {
    sChannelValue out;
    out.value = m_offset + m_linearRate * tau;
    out.rate = m_linearRate;
    for (const sTerm& term : m_terms) {
        const double x = term.omega * tau + term.phase;
        const double s = std::sin(x);
        const double c = std::cos(x);
        if (term.sharpness == 0.0) {
            out.value += term.amplitude * s;
            out.rate += term.amplitude * term.omega * c;
            out.acceleration -= term.amplitude * term.omega * term.omega * s;
            continue;
        }
        // f = A tanh(u), u = k sin(x)
        const double u = term.sharpness * s;
        const double du = term.sharpness * term.omega * c;
        const double ddu = -term.sharpness * term.omega * term.omega * s;
        const double th = std::tanh(u);
        const double sech2 = 1.0 - th * th;
        out.value += term.amplitude * th;
        out.rate += term.amplitude * sech2 * du;
        out.acceleration += term.amplitude * (sech2 * ddu - 2.0 * sech2 * th * du * du);
    }
    return out;
}

}  // namespace sim
