#include "vrhost/world/imu_stream.h"

#include <algorithm>
#include <cstring>

namespace vrhost {

static_assert(sizeof(vr::ImuSample_t) == 64, "an IMU stream element is 64 bytes");

cImuStream::cImuStream(std::string path, std::string device, std::unique_ptr<cImuSampleSource> source,
                       size_t queueLimit, vr::PropertyContainerHandle_t container)
    : mPath(std::move(path)),
      mDevice(std::move(device)),
      mSource(std::move(source)),
      mQueueLimit(std::max<size_t>(queueLimit, 1)),
      mContainer(container) {}

void cImuStream::AttachReader(double now) {
    std::lock_guard<std::mutex> lock(mMutex);
    if (mReaders++ > 0) return;
    // Never hand out samples from before the reader came, nor go back in time on a reopen.
    const int64_t first = mSource->FirstIndexAtOrAfter(now);
    mNextIndex = mStarted ? std::max(mNextIndex, first) : first;
    mStarted = true;
}

void cImuStream::DetachReader() {
    std::lock_guard<std::mutex> lock(mMutex);
    if (mReaders > 0) --mReaders;
}

bool cImuStream::HasReaders() const {
    std::lock_guard<std::mutex> lock(mMutex);
    return mReaders > 0;
}

double cImuStream::Produce(double now) {
    std::lock_guard<std::mutex> lock(mMutex);
    if (mReaders == 0) return std::numeric_limits<double>::infinity();
    while (mSource->TimeOf(mNextIndex) <= now) {
        if (mSource->TimeOf(mNextIndex) < mGapUntil) {
            ++mNextIndex;
            continue;
        }
        if (mQueue.size() >= mQueueLimit) {
            mQueue.pop_front();
            ++mDropped;
        }
        mQueue.push_back(Faulted(mSource->Sample(mNextIndex)));
        ++mNextIndex;
        ++mProduced;
    }
    return mSource->TimeOf(mNextIndex);
}

uint32_t cImuStream::Read(void* destination, uint32_t bytes, double now) {
    std::lock_guard<std::mutex> lock(mMutex);
    ++mReadCalls;
    if (mLastReadFoundNothing) {
        if (mPolls > 0) mPollPeriods.Add(now - mLastPollStart);
        mLastPollStart = now;
        ++mPolls;
    }
    const size_t fit = bytes / sizeof(vr::ImuSample_t);
    const size_t count = std::min(fit, mQueue.size());
    auto* out = static_cast<unsigned char*>(destination);
    for (size_t i = 0; i < count; ++i) {
        std::memcpy(out + i * sizeof(vr::ImuSample_t), &mQueue.front(), sizeof(vr::ImuSample_t));
        mQueue.pop_front();
    }
    mRead += count;
    mLastReadFoundNothing = count == 0;
    return static_cast<uint32_t>(count * sizeof(vr::ImuSample_t));
}

void cImuStream::InjectFault(eFault fault, double now, double amount) {
    std::lock_guard<std::mutex> lock(mMutex);
    switch (fault) {
        case eFault::Gap: mGapUntil = now + amount; break;
        case eFault::TimeBackwards: mBackwardsLeft = static_cast<int64_t>(amount); break;
        case eFault::NotANumber: mNotANumberLeft = static_cast<int64_t>(amount); break;
    }
}

vr::ImuSample_t cImuStream::Faulted(vr::ImuSample_t sample) {
    constexpr double kBackwardsSeconds = 0.05;
    if (mBackwardsLeft > 0) {
        --mBackwardsLeft;
        sample.fSampleTime -= kBackwardsSeconds;
    }
    if (mNotANumberLeft > 0) {
        --mNotANumberLeft;
        const double nan = std::numeric_limits<double>::quiet_NaN();
        for (int axis = 0; axis < 3; ++axis) sample.vAccel.v[axis] = sample.vGyro.v[axis] = nan;
    }
    return sample;
}

sImuStreamStats cImuStream::Stats() const {
    std::lock_guard<std::mutex> lock(mMutex);
    sImuStreamStats stats;
    stats.path = mPath;
    stats.device = mDevice;
    stats.produced = mProduced;
    stats.read = mRead;
    stats.dropped = mDropped;
    stats.pending = mQueue.size();
    stats.readCalls = mReadCalls;
    stats.polls = mPolls;
    if (mPollPeriods.Count() > 0) {
        stats.pollMedianMs = mPollPeriods.Quantile(0.5) * 1000.0;
        stats.pollP99Ms = mPollPeriods.Quantile(0.99) * 1000.0;
    }
    return stats;
}

}  // namespace vrhost
