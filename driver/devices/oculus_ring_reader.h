// The consumer side of the Oculus ring. Everything in the mapping is untrusted: the
// reader keeps its own read index, copies a slot before looking at it, and treats a
// write index outside the ring as a fault of the child instead of reading past it.
#pragma once

#include "devices/oculus_shared_memory.h"

#include <cstdint>

namespace halvex::oculus {

class cOculusRingReader {
public:
    enum class eNext {
        Empty,     // nothing pending
        Sample,    // *sample holds the next sample
        Invalid,   // a slot with an unusable orientation or rate was skipped
        BadIndex,  // the child published a write index outside 0..511
    };

    explicit cOculusRingReader(sOculusSharedMemory* memory) : mMemory(memory) {}

    // Both indices to 0: the ring is empty before a child starts writing.
    void ResetIndices();
    // Drops every pending slot (the child that wrote them is gone) and forgets a fault.
    void DiscardPending();
    // True when a valid write index is ahead of the read index.
    bool HasPending();
    // The child published a write index outside the ring; stays set until discarded.
    bool Faulted() const { return mFaulted; }
    // Takes the next slot, if any, and advances the read index past it.
    eNext Next(sOculusImuSample* sample);

    uint32_t ReadIndex() const { return mReadIndex; }
    uint32_t LastBadWriteIndex() const { return mLastBadWriteIndex; }

private:
    // False, and faulted, when the published write index is outside the ring.
    bool LoadWriteIndex(uint32_t* writeIndex);

    sOculusSharedMemory* mMemory;
    uint32_t mReadIndex = 0;
    uint32_t mLastBadWriteIndex = 0;
    bool mFaulted = false;
};

// A usable sample: a finite orientation of nonzero norm and a finite rate.
bool IsUsableSample(const sOculusImuSample& sample);

// Seconds from counter value `from` to `to`. The child writes the counter values:
// any pair, however absurd, gives a finite number and no integer overflow.
double CounterSeconds(int64_t from, int64_t to, double ticksPerSecond);

}  // namespace halvex::oculus
