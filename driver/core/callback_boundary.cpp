#include "core/callback_boundary.h"

#include "core/driver_log.h"

namespace halvex {

void cCallbackBoundary::Report(const char* what) noexcept {
    const uint64_t caught = mCaught.fetch_add(1, std::memory_order_relaxed) + 1;
    if (caught != 1 && caught % 1000 != 0) return;
    try {
        DriverLog("Exception caught in %s (%llu so far): %s\n", mName, static_cast<unsigned long long>(caught),
                  what ? what : "");
    } catch (...) {
        // The log sink itself failed: nothing left to tell it with.
    }
}

}  // namespace halvex
