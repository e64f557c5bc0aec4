#include "platform/clock.h"

#include <windows.h>

namespace halvex::platform {

int64_t NowTicks() {
    LARGE_INTEGER counter;
    QueryPerformanceCounter(&counter);
    return counter.QuadPart;
}

int64_t TickFrequency() {
    LARGE_INTEGER frequency;
    QueryPerformanceFrequency(&frequency);
    return frequency.QuadPart;
}

double NowSeconds() {
    static const double frequency = static_cast<double>(static_cast<uint64_t>(TickFrequency()));
    return static_cast<double>(static_cast<uint64_t>(NowTicks())) / frequency;
}

}  // namespace halvex::platform
