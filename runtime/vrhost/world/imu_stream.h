// One read-only IMU stream as the runtime publishes it: 64-byte vr::ImuSample_t
// elements, produced once their time has come while a reader is attached, held in
// a bounded queue (the oldest dropped first) and handed out by Read. The stream
// also keeps what the runtime sees of its reader: samples read and the period of
// the reader's polls. Thread-safe: the producer thread, driver threads and
// queries may call it at once.
#pragma once

#include "vrhost/world/imu_sample_source.h"
#include "vrhost/accuracy/quantile_histogram.h"

#include <openvr_driver.h>

#include <atomic>
#include <cstdint>
#include <deque>
#include <limits>
#include <memory>
#include <mutex>
#include <string>

namespace vrhost {

struct sImuStreamStats {
    std::string path;
    std::string device;  // the serial of the device whose motion it carries
    uint64_t produced = 0;
    uint64_t read = 0;     // samples handed to readers
    uint64_t dropped = 0;  // oldest samples pushed out of a full queue
    uint64_t pending = 0;
    uint64_t readCalls = 0;
    // A poll is a run of Read calls ending with one that found nothing (a reader
    // drains the stream each time); the period is the time between poll starts.
    uint64_t polls = 0;
    double pollMedianMs = std::numeric_limits<double>::quiet_NaN();
    double pollP99Ms = std::numeric_limits<double>::quiet_NaN();
};

class cImuStream {
public:
    cImuStream(std::string path, std::string device, std::unique_ptr<cImuSampleSource> source, size_t queueLimit,
               vr::PropertyContainerHandle_t container);

    const std::string& Path() const { return mPath; }
    const std::string& Device() const { return mDevice; }
    vr::PropertyContainerHandle_t Container() const { return mContainer; }

    // Before this driver time the stream does not exist for Open.
    void SetAvailableFrom(double time) { mAvailableFrom.store(time); }
    bool AvailableAt(double now) const { return now >= mAvailableFrom.load(); }

    // A reader opened or closed the stream. Samples are produced from the first
    // grid time at or after the moment a reader attaches.
    void AttachReader(double now);
    void DetachReader();
    bool HasReaders() const;

    // Producer: queues every sample whose grid time is at or before `now`; returns
    // the time of the next sample due, or +infinity while nobody reads.
    double Produce(double now);

    // Reader: copies the oldest pending whole samples, as many as fit in `bytes`;
    // returns the bytes copied (0 when none are pending).
    uint32_t Read(void* destination, uint32_t bytes, double now);

    sImuStreamStats Stats() const;

    // Faults a real stream shows, for soak runs: a gap (no samples for `amount`
    // seconds from `now`), times going backwards (the next `amount` samples dated
    // 50 ms early), NaN samples (the next `amount` samples).
    enum class eFault { Gap, TimeBackwards, NotANumber };
    void InjectFault(eFault fault, double now, double amount);

private:
    vr::ImuSample_t Faulted(vr::ImuSample_t sample);  // under mMutex

    const std::string mPath;
    const std::string mDevice;
    const std::unique_ptr<cImuSampleSource> mSource;
    const size_t mQueueLimit;
    const vr::PropertyContainerHandle_t mContainer;
    std::atomic<double> mAvailableFrom{0.0};

    mutable std::mutex mMutex;
    int mReaders = 0;
    int64_t mNextIndex = 0;
    bool mStarted = false;  // mNextIndex is meaningful
    std::deque<vr::ImuSample_t> mQueue;
    uint64_t mProduced = 0;
    uint64_t mRead = 0;
    uint64_t mDropped = 0;
    uint64_t mReadCalls = 0;
    uint64_t mPolls = 0;
    bool mLastReadFoundNothing = true;
    double mLastPollStart = 0.0;
    cQuantileHistogram mPollPeriods;  // seconds
    double mGapUntil = 0.0;
    int64_t mBackwardsLeft = 0;
    int64_t mNotANumberLeft = 0;
};

}  // namespace vrhost
