// The link to the headset's IMU HID interface, held by the WMR device and used on
// its IMU thread only: the candidate list of interfaces with the headset's vendor
// and product, the one open now, its report buffer, and the rule that moves on to
// the next candidate until one delivers a sensor report.
#pragma once

#include "platform/hid.h"

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace halvex::wmr {

class cWmrImuLink {
public:
    // `debugLevel` is read at the moment of logging.
    explicit cWmrImuLink(const std::atomic<int32_t>& debugLevel);

    // Builds the candidate list and opens its first entry.
    void FindImuDevices_ImuThread();
    // Opens `path` and checks vendor and product; null (nothing open) when it fails.
    std::unique_ptr<platform::cHidDevice> TryOpenHidAtPath_ImuThread(const std::string& path);
    // Report buffer size and input queue of the open device. False when nothing is
    // open or its report descriptor cannot be had.
    bool SetupImuDevice_ImuThread();
    // Closes the current device and opens the next candidate of the ring that opens.
    void IncrementImuDevice_ImuThread();

    // At thread start, after a successful search: index 0, first entry, prepared.
    void BeginSelection_ImuThread();
    // After each poll: while unsettled, a sensor report settles the choice and
    // anything else moves on to the next candidate.
    void AfterPoll_ImuThread(bool tookSensorReport);
    // Releases the device at thread end.
    void Close_ImuThread();

    // One report into the buffer, waiting until a report or `stop`; while the choice
    // is unsettled at most kUnsettledReadSeconds, so a candidate that never sends
    // cannot hold the ring (Timeout). With no report length known nothing is read:
    // the call only waits that long. With nothing open it fails with the system's
    // invalid-handle error.
    platform::eHidRead ReadReport(const platform::cHidStopSignal& stop, uint32_t& error);
    static constexpr double kUnsettledReadSeconds = 0.25;

    bool IsOpen() const { return mImuFileHandle != nullptr; }
    bool Settled() const { return mSettled; }
    size_t CurrentIndex() const { return mCurrentIndex; }
    const std::string& CurrentPath() const { return mImuDevicePath; }
    const std::vector<std::string>& Candidates() const { return mImuDeviceVec; }
    const std::vector<uint8_t>& ReportBuffer() const { return mReportBuffer; }
    // Bytes the last read delivered into the buffer; only those are the report.
    size_t ReportLength() const { return mReportLength; }

private:
    bool Logging(int32_t level) const { return mDebugLevel >= level; }
    long HandleValue() const;
    void CloseDevice();

    const std::atomic<int32_t>& mDebugLevel;
    std::string mImuDevicePath;
    std::unique_ptr<platform::cHidDevice> mImuFileHandle;
    platform::sHidAttributes mAttributes;
    std::vector<uint8_t> mReportBuffer;
    size_t mReportLength = 0;
    std::vector<std::string> mImuDeviceVec;
    size_t mCurrentIndex = 0;
    bool mSettled = true;
};

}  // namespace halvex::wmr
