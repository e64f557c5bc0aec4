#include "devices/oculus_ring_reader.h"

#include <cmath>
#include <cstring>

namespace halvex::oculus {

bool IsUsableSample(const sOculusImuSample& sample) {
    float squaredNorm = 0.0f;
    for (const float component : sample.orientation) {
        if (!std::isfinite(component)) return false;
        squaredNorm += component * component;
    }
    for (const float rate : sample.angularVelocity)
        if (!std::isfinite(rate)) return false;
    return squaredNorm > 0.0f && std::isfinite(squaredNorm);
}

double CounterSeconds(int64_t from, int64_t to, double ticksPerSecond) {
    return (static_cast<double>(to) - static_cast<double>(from)) / ticksPerSecond;
}

bool cOculusRingReader::LoadWriteIndex(uint32_t* writeIndex) {
    *writeIndex = LoadIndex(mMemory->writeIndex);
    if (*writeIndex < kSlotCount) return true;
    mLastBadWriteIndex = *writeIndex;
    mFaulted = true;
    return false;
}

void cOculusRingReader::ResetIndices() {
    mReadIndex = 0;
    mFaulted = false;
    StoreIndex(mMemory->writeIndex, 0);
    StoreIndex(mMemory->readIndex, 0);
}

void cOculusRingReader::DiscardPending() {
    uint32_t writeIndex = 0;
    if (!LoadWriteIndex(&writeIndex)) {
        ResetIndices();
        return;
    }
    mFaulted = false;
    mReadIndex = writeIndex;
    StoreIndex(mMemory->readIndex, mReadIndex);
}

bool cOculusRingReader::HasPending() {
    uint32_t writeIndex = 0;
    return LoadWriteIndex(&writeIndex) && writeIndex != mReadIndex;
}

cOculusRingReader::eNext cOculusRingReader::Next(sOculusImuSample* sample) {
    uint32_t writeIndex = 0;
    if (!LoadWriteIndex(&writeIndex)) return eNext::BadIndex;
    if (writeIndex == mReadIndex) return eNext::Empty;
    // One copy, so that a child rewriting the slot cannot change it between checks.
    std::memcpy(sample, &mMemory->slots[mReadIndex], sizeof(*sample));
    mReadIndex = NextIndex(mReadIndex);
    StoreIndex(mMemory->readIndex, mReadIndex);
    return IsUsableSample(*sample) ? eNext::Sample : eNext::Invalid;
}

}  // namespace halvex::oculus
