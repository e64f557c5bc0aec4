#include "ring_writer.h"

#include <atomic>
#include <cstring>

namespace oculus_sim {
namespace {

std::atomic<uint32_t>& IndexAt(unsigned char* base, std::size_t offset) {
    return *reinterpret_cast<std::atomic<uint32_t>*>(base + offset);
}

}  // namespace

cRingWriter::cRingWriter(void* mapping) : mBase(static_cast<unsigned char*>(mapping)) {
    mWriteIndex = IndexAt(mBase, kWriteIndexOffset).load(std::memory_order_acquire);
    if (mWriteIndex >= kSlotCount) mWriteIndex = 0;
}

bool cRingWriter::Write(const sHeadsetSample& sample) {
    const uint32_t next = mWriteIndex + 1 < kSlotCount ? mWriteIndex + 1 : 0;
    if (next == IndexAt(mBase, kReadIndexOffset).load(std::memory_order_acquire)) return false;
    unsigned char* slot = mBase + kSlotsOffset + static_cast<std::size_t>(mWriteIndex) * kSlotSize;
    std::memset(slot, 0, kSlotSize);
    std::memcpy(slot + kOrientationOffset, sample.orientation, sizeof(sample.orientation));
    std::memcpy(slot + kAngularVelocityOffset, sample.angularVelocity, sizeof(sample.angularVelocity));
    std::memcpy(slot + kTimestampOffset, &sample.timestamp, sizeof(sample.timestamp));
    mWriteIndex = next;
    IndexAt(mBase, kWriteIndexOffset).store(mWriteIndex, std::memory_order_release);
    return true;
}

void cRingWriter::PublishWriteIndex(uint32_t value) {
    IndexAt(mBase, kWriteIndexOffset).store(value, std::memory_order_release);
}

}  // namespace oculus_sim
