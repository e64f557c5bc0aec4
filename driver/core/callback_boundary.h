// Exceptions must never unwind into a C caller (the streaming library's threads,
// the runtime's calls, a std::thread body): every entry point from outside runs
// its body through a boundary, which catches, logs and lets the caller carry on.
#pragma once

#include <atomic>
#include <cstdint>
#include <exception>

namespace halvex {

class cCallbackBoundary {
public:
    explicit constexpr cCallbackBoundary(const char* name) : mName(name) {}
    cCallbackBoundary(const cCallbackBoundary&) = delete;
    cCallbackBoundary& operator=(const cCallbackBoundary&) = delete;

    // True when the body returned normally.
    template <typename Fn>
    bool Run(Fn&& body) noexcept {
        try {
            body();
            return true;
        } catch (const std::exception& e) {
            Report(e.what());
        } catch (...) {
            Report("unknown exception");
        }
        return false;
    }

    uint64_t Caught() const { return mCaught.load(std::memory_order_relaxed); }

private:
    // The first exception is logged with its text; after that only every
    // thousandth, so a callback that fails at frame rate cannot flood the log.
    void Report(const char* what) noexcept;

    const char* mName;
    std::atomic<uint64_t> mCaught{0};
};

}  // namespace halvex
