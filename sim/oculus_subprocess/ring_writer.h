// The child's side of the Oculus ring, written from the byte layout the driver
// documents (not from the driver's headers, as a real headset program would be):
// fill a slot completely, then publish the write index; never onto the read index.
#pragma once

#include <cstddef>
#include <cstdint>

namespace oculus_sim {

constexpr std::size_t kMappingSize = 53376;
constexpr std::size_t kReadIndexOffset = 0;
constexpr std::size_t kWriteIndexOffset = 64;
constexpr std::size_t kSlotsOffset = 72;
constexpr std::size_t kSlotSize = 104;
constexpr uint32_t kSlotCount = 512;
constexpr std::size_t kOrientationOffset = 0;       // 4 floats x, y, z, w
constexpr std::size_t kAngularVelocityOffset = 28;  // 3 floats, rad/s
constexpr std::size_t kTimestampOffset = 96;        // int64 performance counter

struct sHeadsetSample {
    float orientation[4];  // x, y, z, w
    float angularVelocity[3];
    int64_t timestamp;
};

class cRingWriter {
public:
    // `mapping` is the mapped memory of kMappingSize bytes. Writing continues from the
    // write index found there, so a relaunched child picks up where its reader is.
    explicit cRingWriter(void* mapping);

    // False when the ring is full (the reader is 511 slots behind): the sample is dropped.
    bool Write(const sHeadsetSample& sample);
    // Publishes any value as the write index (a faulty child, for tests).
    void PublishWriteIndex(uint32_t value);
    uint32_t WriteIndex() const { return mWriteIndex; }

private:
    unsigned char* mBase;
    uint32_t mWriteIndex;
};

}  // namespace oculus_sim
