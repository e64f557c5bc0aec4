// A device's newest calibration: replaced by the runtime's thread on a reload,
// copied by the frame, IMU, recording and runtime threads. The lock is held for a
// copy of a few hundred bytes only, and nothing else is taken under it.
#pragma once

#include "recording/device_calibration.h"

#include <atomic>
#include <cstdint>
#include <mutex>

namespace halvex {

class cCalibrationSnapshot {
public:
    explicit cCalibrationSnapshot(const sDeviceCalibration& initial) : mValue(initial) {}

    // False (and the generation kept) when `calibration` is the one held already.
    bool Set(const sDeviceCalibration& calibration) {
        std::lock_guard<std::mutex> lock(mMutex);
        if (calibration == mValue) return false;
        mValue = calibration;
        mGeneration.fetch_add(1, std::memory_order_release);
        return true;
    }
    sDeviceCalibration Get() const {
        std::lock_guard<std::mutex> lock(mMutex);
        return mValue;
    }
    // The copy and the generation it belongs to, taken together.
    uint32_t Get(sDeviceCalibration& out) const {
        std::lock_guard<std::mutex> lock(mMutex);
        out = mValue;
        return mGeneration.load(std::memory_order_relaxed);
    }
    uint32_t Generation() const { return mGeneration.load(std::memory_order_acquire); }

private:
    mutable std::mutex mMutex;
    sDeviceCalibration mValue;
    std::atomic<uint32_t> mGeneration{0};
};

}  // namespace halvex
