// Hand-over of recording records from a tracking thread to the recording thread.
// Lock-free single producer / single consumer: a tracking thread must never wait on
// a file, so a full ring drops the new record and tracking goes on.
#pragma once

#include <atomic>
#include <cstdint>
#include <type_traits>

namespace halvex {

// N slots, at most N-1 in use (a full ring is told from an empty one without a
// shared counter). Records are copied by value: T must be trivially copyable so a
// push never allocates.
template <typename T, uint32_t N = 1024>
class cRecordRing {
    static_assert(N >= 2, "a ring needs at least two slots");
    static_assert(std::is_trivially_copyable_v<T>, "records must be plain values");

public:
    static constexpr uint32_t kSlotCount = N;
    static constexpr uint32_t kCapacity = N - 1;

    cRecordRing() = default;
    cRecordRing(const cRecordRing&) = delete;
    cRecordRing& operator=(const cRecordRing&) = delete;

    // Producer side. Several producers are allowed only when a lock serialises them.
    bool push(const T& record) {
        const uint32_t write = mWrite.load(std::memory_order_relaxed);
        const uint32_t next = Next(write);
        // Acquire pairs with the consumer's release in pop(): the consumer has finished
        // reading a slot before the producer may overwrite it.
        if (next == mRead.load(std::memory_order_acquire)) {
            mDropped.fetch_add(1, std::memory_order_relaxed);
            return false;
        }
        mSlots[write] = record;
        mWrite.store(next, std::memory_order_release);
        return true;
    }

    // Consumer side.
    bool pop(T& record) {
        const uint32_t read = mRead.load(std::memory_order_relaxed);
        if (read == mWrite.load(std::memory_order_acquire)) return false;
        record = mSlots[read];
        mRead.store(Next(read), std::memory_order_release);
        return true;
    }

    // Records waiting. Exact on the consumer side, and a lower bound for as long as
    // the consumer does not pop; from any other thread a snapshot.
    uint32_t size() const {
        const uint32_t write = mWrite.load(std::memory_order_acquire);
        const uint32_t read = mRead.load(std::memory_order_acquire);
        return write >= read ? write - read : N - read + write;
    }

    // Exact on the consumer side; from any other thread a snapshot.
    bool empty() const { return mRead.load(std::memory_order_acquire) == mWrite.load(std::memory_order_acquire); }

    // Records refused because the ring was full, since construction.
    uint64_t dropped() const { return mDropped.load(std::memory_order_relaxed); }

private:
    static constexpr uint32_t Next(uint32_t index) { return index + 1 == N ? 0 : index + 1; }

    // The producer's line: its index and its drop counter.
    alignas(64) std::atomic<uint32_t> mWrite{0};
    std::atomic<uint64_t> mDropped{0};
    // The consumer's line.
    alignas(64) std::atomic<uint32_t> mRead{0};
    alignas(64) T mSlots[N];
};

}  // namespace halvex
