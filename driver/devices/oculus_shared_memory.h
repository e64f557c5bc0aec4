// The shared-memory ring through which the Oculus child program hands over the
// headset's orientation samples: one producer (the child) and one consumer (the
// driver's reader), each writing only its own index. Little-endian, byte-exact.
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>

namespace halvex::oculus {

constexpr const char* kSharedMemoryName = "HalvexOpenvrOculusSharedMemory";
constexpr uint32_t kSlotCount = 512;

#pragma pack(push, 1)
struct sOculusImuSample {
    float orientation[4];      // x, y, z, w; any norm but 0
    float unused0[3];
    float angularVelocity[3];  // x, y, z, rad/s
    uint8_t unused1[56];
    int64_t timestamp;  // the machine's performance counter when the child took the sample
};
#pragma pack(pop)

// Not packed: the indices are accessed atomically and must keep their natural
// alignment, which already gives the byte layout (asserted below).
struct sOculusSharedMemory {
    uint32_t readIndex;  // next slot the driver consumes (driver)
    uint8_t unused0[60];
    uint32_t writeIndex;  // next slot the child fills (child)
    uint8_t unused1[4];
    sOculusImuSample slots[kSlotCount];
    uint8_t unused2[56];
};

static_assert(offsetof(sOculusImuSample, orientation) == 0);
static_assert(offsetof(sOculusImuSample, unused0) == 16);
static_assert(offsetof(sOculusImuSample, angularVelocity) == 28);
static_assert(offsetof(sOculusImuSample, unused1) == 40);
static_assert(offsetof(sOculusImuSample, timestamp) == 96);
static_assert(sizeof(sOculusImuSample) == 104);

static_assert(offsetof(sOculusSharedMemory, readIndex) == 0);
static_assert(offsetof(sOculusSharedMemory, unused0) == 4);
static_assert(offsetof(sOculusSharedMemory, writeIndex) == 64);
static_assert(offsetof(sOculusSharedMemory, unused1) == 68);
static_assert(offsetof(sOculusSharedMemory, slots) == 72);
static_assert(offsetof(sOculusSharedMemory, unused2) == 53320);
static_assert(sizeof(sOculusSharedMemory) == 53376);

// The indices cross a process boundary: the slot is filled before the write index
// is published, so the index is read with acquire and written with release order.
// A lock-free std::atomic<uint32_t> has the plain integer's representation.
static_assert(sizeof(std::atomic<uint32_t>) == sizeof(uint32_t) && std::atomic<uint32_t>::is_always_lock_free);

inline uint32_t LoadIndex(const uint32_t& index) {
    return reinterpret_cast<const std::atomic<uint32_t>&>(index).load(std::memory_order_acquire);
}

inline void StoreIndex(uint32_t& index, uint32_t value) {
    reinterpret_cast<std::atomic<uint32_t>&>(index).store(value, std::memory_order_release);
}

inline uint32_t NextIndex(uint32_t index) { return index + 1 < kSlotCount ? index + 1 : 0; }

}  // namespace halvex::oculus
