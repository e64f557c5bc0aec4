// Unpredictable 64-bit values for session tokens and discovery nonces: a stray or
// stale datagram must not be taken for one of ours.
#pragma once

#include <cstdint>

namespace tessaly {
uint64_t RandomToken();  // never 0
}
