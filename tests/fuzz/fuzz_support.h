// Small helpers shared by the fuzz targets that talk to a live peer on loopback.
#pragma once

#include "platform/environment.h"

#include <chrono>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

namespace halvex::fuzz {

// Polls `condition` every 50 µs until it holds or `seconds` have passed.
template <typename Condition>
bool WaitUntil(Condition condition, double seconds) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::duration<double>(seconds);
    while (!condition()) {
        if (std::chrono::steady_clock::now() >= deadline) return false;
        std::this_thread::sleep_for(std::chrono::microseconds(50));
    }
    return true;
}

using halvex::platform::SetEnvironment;

// The first input byte steers the harness (which fields to make right so that
// the datagram gets past the peer checks); the rest is the datagram.
struct sSteeredDatagram {
    uint8_t control = 0;
    std::vector<uint8_t> bytes;
};

inline sSteeredDatagram SplitControlByte(const uint8_t* data, size_t size) {
    sSteeredDatagram out;
    if (size == 0) return out;
    out.control = data[0];
    out.bytes.assign(data + 1, data + size);
    return out;
}

// Writes a little-endian value at `offset` when the datagram is long enough.
template <typename T>
void PatchLittleEndian(std::vector<uint8_t>& bytes, size_t offset, T value) {
    if (bytes.size() < offset + sizeof(T)) return;
    for (size_t i = 0; i < sizeof(T); ++i) bytes[offset + i] = static_cast<uint8_t>(value >> (8 * i));
}

constexpr size_t kTokenOffset = 8;  // in the datagram header

}  // namespace halvex::fuzz
