// A device's recording thread and its control: started at activation when
// "recordRawData" is on, or by a live `record start`; stopped by `record stop`
// without a join (the thread writes out what its rings hold and closes the files),
// or joined at deactivation. The body is the device's own (which rings, which header).
#pragma once

#include <openvr_driver.h>

#include <atomic>
#include <cstdint>
#include <functional>
#include <mutex>
#include <string>
#include <thread>

namespace halvex {

class cDeviceRecorder {
public:
    // Runs on the recording thread until `stop` is set; `recordFrom` is the driver time
    // the recording was enabled at, before which no record belongs to it.
    using Body = std::function<void(uint32_t deviceIndex, double recordFrom, const std::atomic<bool>& stop)>;

    // `driverTimeNow`: the clock the producers stamp their records with.
    cDeviceRecorder(Body body, std::function<double()> driverTimeNow)
        : mBody(std::move(body)), mDriverTimeNow(std::move(driverTimeNow)) {}
    ~cDeviceRecorder() { Stop(); }
    cDeviceRecorder(const cDeviceRecorder&) = delete;
    cDeviceRecorder& operator=(const cDeviceRecorder&) = delete;

    // Whether the tracking threads push their samples (set at activation, read by them).
    bool Enabled() const { return mEnabled.load(); }
    void SetEnabled(bool on);
    // A recording is being written now.
    bool Running() const { return mEnabled.load() && !mThreadDone.load(); }

    // deviceIndex: the activation's own index, which names the files. Does nothing
    // while a recording thread runs.
    void Start(uint32_t deviceIndex);
    // Sets the stop flag and joins.
    void Stop();
    // The live request: `activeIndex` is the device's index now (invalid when inactive).
    // Never waits for the thread. False with the reason.
    bool Set(bool on, uint32_t activeIndex, std::string& why);
    // The raw data file of the recording running or last started; empty when none.
    std::string RawDataFile() const;

private:
    void StartLocked(uint32_t deviceIndex);

    Body mBody;
    std::function<double()> mDriverTimeNow;
    std::atomic<bool> mEnabled{false};
    std::atomic<double> mEnabledAt{0.0};
    std::thread mThread;
    std::atomic<bool> mStopThread{false};
    // Set by the thread as its last act: a stopped thread is joined at once.
    std::atomic<bool> mThreadDone{true};
    std::atomic<uint32_t> mIndex{vr::k_unTrackedDeviceIndexInvalid};  // names the files of the last start
    // Serialises starting, stopping and joining the thread.
    std::mutex mControlMutex;
};

}  // namespace halvex
