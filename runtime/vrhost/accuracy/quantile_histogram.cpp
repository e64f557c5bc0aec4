#include "vrhost/accuracy/quantile_histogram.h"

#include <algorithm>
#include <cmath>
#include <limits>

namespace vrhost {
namespace {

constexpr double kRelativeStep = 0.01;  // bin width; the centre is within half of it

}  // namespace

cQuantileHistogram::cQuantileHistogram(double smallest, double largest)
    : mSmallest(smallest), mLogSmallest(std::log(smallest)), mLogStep(std::log1p(kRelativeStep)) {
    mSideBins = static_cast<size_t>(std::ceil((std::log(largest) - mLogSmallest) / mLogStep)) + 1;
    mBins.assign(2 * mSideBins + 1, 0);
}

size_t cQuantileHistogram::BinOf(double value) const {
    const double magnitude = std::fabs(value);
    if (magnitude < mSmallest) return mSideBins;
    const double position = std::min((std::log(magnitude) - mLogSmallest) / mLogStep, static_cast<double>(mSideBins - 1));
    const size_t k = static_cast<size_t>(position);
    return value > 0.0 ? mSideBins + 1 + k : mSideBins - 1 - k;
}

double cQuantileHistogram::ValueOf(size_t bin) const {
    if (bin == mSideBins) return 0.0;
    const size_t k = bin > mSideBins ? bin - mSideBins - 1 : mSideBins - 1 - bin;
    const double magnitude = std::exp(mLogSmallest + (static_cast<double>(k) + 0.5) * mLogStep);
    return bin > mSideBins ? magnitude : -magnitude;
}

void cQuantileHistogram::Add(double value) {
    if (!std::isfinite(value)) return;
    if (mCount == 0) {
        mMin = mMax = value;
    } else {
        mMin = std::min(mMin, value);
        mMax = std::max(mMax, value);
    }
    ++mCount;
    mSum += value;
    mSumSquares += value * value;
    ++mBins[BinOf(value)];
}

double cQuantileHistogram::Mean() const {
    return mCount ? mSum / static_cast<double>(mCount) : std::numeric_limits<double>::quiet_NaN();
}

double cQuantileHistogram::Rms() const {
    return mCount ? std::sqrt(mSumSquares / static_cast<double>(mCount)) : std::numeric_limits<double>::quiet_NaN();
}

double cQuantileHistogram::Quantile(double q) const {
    if (mCount == 0) return std::numeric_limits<double>::quiet_NaN();
    const double clamped = std::clamp(q, 0.0, 1.0);
    // Nearest rank: the smallest value with at least q of the values at or below it.
    const uint64_t rank = std::max<uint64_t>(1, static_cast<uint64_t>(std::ceil(clamped * static_cast<double>(mCount))));
    if (rank == 1) return mMin;
    if (rank >= mCount) return mMax;
    uint64_t seen = 0;
    for (size_t bin = 0; bin < mBins.size(); ++bin) {
        seen += mBins[bin];
        if (seen >= rank) {
            return std::clamp(ValueOf(bin), mMin, mMax);
        }
    }
    return mMax;
}

}  // namespace vrhost
