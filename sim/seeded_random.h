// Small deterministic generator: the same seed gives the same numbers on every
// platform and standard library, which std distributions do not promise.
#pragma once

#include <cstdint>

namespace sim {

// Independent noise streams of one seed, addressed by sample or frame index.
constexpr uint64_t kImuNoiseStream = 1;
constexpr uint64_t kOpticalNoiseStream = 2;
constexpr uint64_t kImuBiasWalkStream = 3;
constexpr uint64_t kOcclusionStream = 4;
constexpr uint64_t kSensorErrorStream = 5;
constexpr uint64_t kOpticalTimingStream = 6;
uint64_t StreamSeed(uint32_t seed, uint64_t stream, int64_t index);

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
