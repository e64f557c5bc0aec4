#include "devices/device_recorder.h"

#include "core/callback_boundary.h"
#include "platform/thread_name.h"
#include "recording/recording_loop.h"

namespace halvex {
namespace {

cCallbackBoundary gRecordThreadBoundary("a device's recording thread");

}  // namespace

void cDeviceRecorder::SetEnabled(bool on) {
    // Stamped first: a producer that sees the flag stamps its records later.
    if (on) mEnabledAt.store(mDriverTimeNow());
    mEnabled.store(on);
}

void cDeviceRecorder::Start(uint32_t deviceIndex) {
    std::lock_guard<std::mutex> lock(mControlMutex);
    StartLocked(deviceIndex);
}

void cDeviceRecorder::StartLocked(uint32_t deviceIndex) {
    if (mThread.joinable()) {
        if (!mThreadDone.load()) return;
        mThread.join();
    }
    mStopThread.store(false);
    mThreadDone.store(false);
    mIndex.store(deviceIndex);
    const double recordFrom = mEnabledAt.load();
    mThread = std::thread([this, deviceIndex, recordFrom] {
        gRecordThreadBoundary.Run([&] { mBody(deviceIndex, recordFrom, mStopThread); });
        mThreadDone.store(true);
    });
    platform::NameThread(mThread, "halvex-record");
}

void cDeviceRecorder::Stop() {
    std::lock_guard<std::mutex> lock(mControlMutex);
    if (mThread.joinable()) {
        mStopThread.exchange(true);
        mThread.join();
    }
}

bool cDeviceRecorder::Set(bool on, uint32_t activeIndex, std::string& why) {
    // Deactivate may hold the lock while it joins: the runtime's thread must not wait for that.
    std::unique_lock<std::mutex> lock(mControlMutex, std::try_to_lock);
    if (!lock.owns_lock()) {
        why = "the recording is being started or stopped; ask again";
        return false;
    }
    if (!on) {
        // Stopped without a join: the thread writes out what the rings hold and closes the files.
        mEnabled.store(false);
        mStopThread.store(true);
        return true;
    }
    if (activeIndex == vr::k_unTrackedDeviceIndexInvalid) {
        why = "the device is not active";
        return false;
    }
    if (mThread.joinable() && !mThreadDone.load()) {
        if (!mStopThread.load()) return true;  // recording already
        why = "the previous recording is still being written; ask again";
        return false;
    }
    SetEnabled(true);
    StartLocked(activeIndex);
    return true;
}

std::string cDeviceRecorder::RawDataFile() const {
    const uint32_t index = mIndex.load();
    return index == vr::k_unTrackedDeviceIndexInvalid ? std::string() : DefaultRawDataFilePath(index);
}

}  // namespace halvex
