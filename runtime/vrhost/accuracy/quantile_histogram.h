// A distribution kept in bounded memory for long sessions: exact count, mean and
// RMS, and quantiles from logarithmic bins (about 0.5 % relative resolution),
// mirrored for negative values (a pose may be dated ahead of its receipt).
// Not thread-safe: the owner locks.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace vrhost {

class cQuantileHistogram {
public:
    // Magnitudes below `smallest` count as zero, above `largest` in the outermost bin.
    explicit cQuantileHistogram(double smallest = 1e-6, double largest = 1e7);

    void Add(double value);  // NaN and infinities are ignored
    uint64_t Count() const { return mCount; }
    double Mean() const;
    double Rms() const;
    double Min() const { return mMin; }
    double Max() const { return mMax; }
    // The q-quantile (0..1) by the nearest-rank rule, from the bin's geometric
    // centre, clamped to the observed range (the extremes exact); NaN when empty.
    double Quantile(double q) const;

private:
    size_t BinOf(double value) const;
    double ValueOf(size_t bin) const;

    double mSmallest;
    double mLogSmallest;
    double mLogStep;
    size_t mSideBins;             // logarithmic bins on each side of zero
    std::vector<uint64_t> mBins;  // negative (outermost first), zero, positive
    uint64_t mCount = 0;
    double mSum = 0.0;
    double mSumSquares = 0.0;
    double mMin = 0.0;
    double mMax = 0.0;
};

}  // namespace vrhost
