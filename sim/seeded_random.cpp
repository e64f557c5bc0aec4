#include "seeded_random.h"

#include <cmath>

namespace sim {

uint64_t StreamSeed(uint32_t seed, uint64_t stream, int64_t index) {
    uint64_t mixed = cSeededRandom(seed).NextBits();
    mixed = cSeededRandom(mixed ^ stream).NextBits();
    return cSeededRandom(mixed ^ static_cast<uint64_t>(index)).NextBits();
}

cSeededRandom::cSeededRandom(uint64_t seed) : m_state(seed) {}

uint64_t cSeededRandom::NextBits() {
    // splitmix64
    uint64_t z = (m_state += 0x9E3779B97F4A7C15ull);
    z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
    z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
    return z ^ (z >> 31);
}

double cSeededRandom::Uniform() { return static_cast<double>(NextBits() >> 11) * 0x1.0p-53; }

double cSeededRandom::Uniform(double low, double high) { return low + (high - low) * Uniform(); }

double cSeededRandom::Gaussian() {
    if (m_hasSpare) {
        m_hasSpare = false;
        return m_spare;
    }
    // Box-Muller; 1 - U keeps the logarithm finite
    const double radius = std::sqrt(-2.0 * std::log(1.0 - Uniform()));
    const double angle = 2.0 * 3.14159265358979323846 * Uniform();
    m_spare = radius * std::sin(angle);
    m_hasSpare = true;
    return radius * std::cos(angle);
}

}  // namespace sim
