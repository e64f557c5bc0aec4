// The library's messages, handed to the callback installed with
// Tessaly_SetLogCallback (dropped while none is installed).
#pragma once

#include <atomic>
#include <cstdint>

#include "TessalyTypes.h"

namespace tessaly {

void SetLogCallback(TessalyLogCallbackFunc callback);

#if defined(__GNUC__)
__attribute__((format(printf, 2, 3)))
#endif
void Log(Verbosity level, const char* format, ...);

// Lets the first few occurrences of a repeated event through, then every 1000th.
class cLogThrottle {
public:
    bool Allow() {
        const uint64_t n = mCount.fetch_add(1, std::memory_order_relaxed);
        return n < 5 || n % 1000 == 0;
    }

private:
    std::atomic<uint64_t> mCount{0};
};

}  // namespace tessaly
