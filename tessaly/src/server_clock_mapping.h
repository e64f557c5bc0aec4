// Maps server-clock ticks onto the library's clock. Each exchange yields the
// offset seen half-way through its round trip; the exchange with the shortest
// round trip among the recent ones bounds the error best and is the one used.
#pragma once

#include <atomic>
#include <cstdint>
#include <mutex>

namespace tessaly {

class cServerClockMapping {
public:
    void Reset(uint64_t frequency);
    // sentSeconds / receivedSeconds: library clock around the exchange.
    void AddExchange(double sentSeconds, double receivedSeconds, uint64_t serverTicks);
    int ExchangeCount() const { return mExchanges.load(); }
    uint64_t Frequency() const { return mFrequency.load(); }
    // Library-clock seconds elapsed since the tick; negative when unmappable.
    double SecondsSince(uint64_t serverTicks, double nowSeconds) const;

private:
    static constexpr int kWindow = 16;
    static constexpr double kMaxRoundTrip = 1.0;
    std::mutex mMutex;  // samples; writers only
    double mOffsets[kWindow] = {};
    double mRoundTrips[kWindow] = {};
    int mNext = 0;
    int mFilled = 0;
    std::atomic<uint64_t> mFrequency{0};
    std::atomic<double> mServerMinusLocal{0.0};
    std::atomic<int> mExchanges{0};
};

}  // namespace tessaly
