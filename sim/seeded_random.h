// Small deterministic generator: the same seed gives the same numbers on every
// platform and standard library, which std distributions do not promise.
#pragma once

#include <cstdint>

namespace sim {

class cSeededRandom {
public:
    explicit cSeededRandom(uint64_t seed);
    uint64_t NextBits();
    double Uniform();                        // [0, 1)
    double Uniform(double low, double high);  // [low, high)
    double Gaussian();                        // standard normal

private:
    uint64_t m_state;
    bool m_hasSpare = false;
    double m_spare = 0.0;
};

}  // namespace sim
