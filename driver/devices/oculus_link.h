// One link per process between the driver and the Oculus child program: one mapping,
// one child, one reader thread, serving every Oculus device. The ring has a single
// consumer, so the devices share the reader instead of each starting a child of its
// own; the link starts with the first device that attaches and ends with the last.
#pragma once

#include "devices/oculus_shared_memory.h"

#include <atomic>
#include <cstdint>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace halvex::oculus {

// A receiver of the child's samples (the Oculus devices).
class cIChildSampleSink {
public:
    virtual ~cIChildSampleSink() = default;
    // `sampleTime` is the sample's time in driver seconds.
    virtual void ProcessChildSample(const sOculusImuSample& sample, double sampleTime) = 0;
};

struct sOculusLinkConfig {
    std::string childExecutable;                   // full path
    std::string mappingName = kSharedMemoryName;
    double shortLivedChildSeconds = 1.0;  // a child that ends sooner is relaunched after a pause
    double firstRelaunchPause = 0.1;      // doubling from here ...
    double longestRelaunchPause = 5.0;    // ... up to here
};

// The child's place: "bin/<platform>/" of the driver folder, beside the driver library.
std::string DefaultChildExecutable();

class cOculusLink {
public:
    explicit cOculusLink(sOculusLinkConfig config);
    ~cOculusLink();
    cOculusLink(const cOculusLink&) = delete;
    cOculusLink& operator=(const cOculusLink&) = delete;

    // The first attach starts the reader (again, if it had ended on an error); from then
    // on every sample goes to every attached sink. Detach returns once the link will no
    // longer call `sink`; the last one stops the reader and ends the child.
    void Attach(cIChildSampleSink* sink);
    void Detach(cIChildSampleSink* sink);

    // For watching from outside: samples handed out so far, slots dropped as unusable,
    // samples dropped for a date too far from now, child launches, and the running
    // child's process id (0 when none).
    uint64_t SampleCount() const { return mSampleCount.load(); }
    uint64_t DroppedCount() const { return mDroppedCount.load(); }
    uint64_t UntimelyCount() const { return mUntimelyCount.load(); }
    uint32_t LaunchCount() const { return mLaunchCount.load(); }
    int64_t ChildProcessId() const { return mChildProcessId.load(); }
    bool ReaderRunning() const;

private:
    void ThreadProc_IpcThread();
    void Dispatch(const sOculusImuSample& sample, double sampleTime);
    // Waits `seconds`, or less when a stop is requested; false on a stop request.
    bool PauseUnlessStopped(double seconds) const;

    sOculusLinkConfig mConfig;
    std::mutex mLifecycleMutex;  // Attach/Detach; taken before mSinkMutex
    std::mutex mSinkMutex;       // guards mSinks; held while a sample is handed out
    std::vector<cIChildSampleSink*> mSinks;
    std::thread mIpcThread;
    std::atomic<bool> mStopIpcThread{false};
    std::atomic<bool> mIpcThreadEnded{false};
    std::atomic<uint64_t> mSampleCount{0};
    std::atomic<uint64_t> mDroppedCount{0};
    std::atomic<uint64_t> mUntimelyCount{0};
    std::atomic<uint32_t> mLaunchCount{0};
    std::atomic<int64_t> mChildProcessId{0};
};

// The link the driver's Oculus devices share.
cOculusLink& TheOculusLink();

}  // namespace halvex::oculus
