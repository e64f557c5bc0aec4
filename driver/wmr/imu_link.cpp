#include "wmr/imu_link.h"

#include "core/driver_log.h"
#include "wmr/sensor_report.h"

#include <cstdio>

namespace halvex::wmr {

namespace {

constexpr uint32_t kInputQueueReports = 512;
// "INVALID_HANDLE_VALUE" as the log lines print a handle that is not open.
constexpr long kNoHandleValue = -1;

}  // namespace

cWmrImuLink::cWmrImuLink(const std::atomic<int32_t>& debugLevel) : mDebugLevel(debugLevel) {}

long cWmrImuLink::HandleValue() const { return mImuFileHandle ? mImuFileHandle->NativeValue() : kNoHandleValue; }

void cWmrImuLink::CloseDevice() { mImuFileHandle.reset(); }

std::unique_ptr<platform::cHidDevice> cWmrImuLink::TryOpenHidAtPath_ImuThread(const std::string& path) {
    uint32_t error = 0;
    std::unique_ptr<platform::cHidDevice> device = platform::cHidDevice::Open(path, error);
    if (!device) {
        if (Logging(2)) DriverLog("TryOpenHidAtPath_ImuThread devicePath=%s FAIL - INVALID_HANDLE_VALUE", path.c_str());
        return nullptr;
    }
    platform::sHidAttributes attributes;
    if (!device->GetAttributes(attributes)) {
        if (Logging(2)) DriverLog("TryOpenHidAtPath_ImuThread devicePath=%s FAIL - Could not get attributes", path.c_str());
        return nullptr;
    }
    const auto idLine = [&] {
        DriverLog("\tVendorID=0x%4.4x ProductID=0x%4.4x expecting VID=0x045E PID=0x0659", attributes.vendorId,
                  attributes.productId);
    };
    if (attributes.vendorId != kImuVendorId) {
        if (Logging(2)) {
            DriverLog("TryOpenHidAtPath_ImuThread devicePath=%s FAIL - Incorrect VendorID", path.c_str());
            idLine();
        }
        return nullptr;
    }
    if (attributes.productId != kImuProductId) {
        if (Logging(1)) {
            DriverLog("TryOpenHidAtPath_ImuThread devicePath=%s FAIL - Incorrect ProductID", path.c_str());
            idLine();
        }
        return nullptr;
    }
    if (Logging(1)) {
        DriverLog("TryOpenHidAtPath_ImuThread devicePath=%s PASS", path.c_str());
        idLine();
    }
    return device;
}

void cWmrImuLink::FindImuDevices_ImuThread() {
    mImuDeviceVec.clear();
    if (mImuFileHandle) {
        if (Logging(2)) DriverLog("Releasing handle for Path=%s Handle = %ld", mImuDevicePath.c_str(), HandleValue());
        CloseDevice();
        mImuDevicePath.clear();
    }
    for (const std::string& path : platform::EnumerateHidInterfaces()) {
        std::unique_ptr<platform::cHidDevice> probe = TryOpenHidAtPath_ImuThread(path);
        if (!probe) continue;
        if (Logging(2)) DriverLog("WMR IMU HID device opened at path '%s' handle = %ld PASS", path.c_str(), probe->NativeValue());
        probe.reset();
        mImuDeviceVec.push_back(path);
        if (Logging(2)) DriverLog("   mImuDeviceVec.size()=%d", static_cast<int>(mImuDeviceVec.size()));
    }
    if (!mImuDeviceVec.empty()) {
        if (Logging(2)) DriverLog("mImuDeviceVec size=%d:", static_cast<int>(mImuDeviceVec.size()));
        if (Logging(1)) {
            for (size_t i = 0; i < mImuDeviceVec.size(); ++i)
                DriverLog("    %d devicePath = %s", static_cast<int>(i), mImuDeviceVec[i].c_str());
        }
        mImuDevicePath = mImuDeviceVec.front();
        mImuFileHandle = TryOpenHidAtPath_ImuThread(mImuDevicePath);
        if (Logging(2)) DriverLog("    mImuDevicePath '%s' mImuFileHandle = %ld", mImuDevicePath.c_str(), HandleValue());
    }
    if (Logging(2)) {
        if (mImuFileHandle)
            DriverLog("    READY for Path=%s Handle = %ld", mImuDevicePath.c_str(), HandleValue());
        else
            DriverLog("    NOT READY for Path=%s Handle = INVALID_HANDLE_VALUE", mImuDevicePath.c_str());
    }
}

bool cWmrImuLink::SetupImuDevice_ImuThread() {
    if (!mImuFileHandle) return false;
    size_t length = 0;
    if (!mImuFileHandle->GetInputReportLength(length)) return false;
    std::printf("InputReportByteLength: %u\n", static_cast<unsigned>(length));
    std::fflush(stdout);
    mReportBuffer.resize(length, 0);
    mImuFileHandle->SetInputQueueSize(kInputQueueReports);
    mImuFileHandle->GetAttributes(mAttributes);
    return true;
}

void cWmrImuLink::IncrementImuDevice_ImuThread() {
    const int index = static_cast<int>(mCurrentIndex);
    if (Logging(2)) DriverLog("IncrementImuDevice_ImuThread:  %s %ld index %d", mImuDevicePath.c_str(), HandleValue(), index);
    if (mImuDeviceVec.empty()) {
        if (Logging(1)) DriverLog("IncrementImuDevice_ImuThread:  mImuDeviceVec.size() = 0");
        return;
    }
    if (Logging(2))
        DriverLog("IncrementImuDevice_ImuThread: Closing %s %ld index %d", mImuDevicePath.c_str(), HandleValue(), index);
    CloseDevice();
    for (size_t tries = 0; tries < mImuDeviceVec.size() && !mImuFileHandle; ++tries) {
        mCurrentIndex = (mCurrentIndex + 1) % mImuDeviceVec.size();
        mImuDevicePath = mImuDeviceVec[mCurrentIndex];
        mImuFileHandle = TryOpenHidAtPath_ImuThread(mImuDevicePath);
        if (Logging(2))
            DriverLog("IncrementImuDevice_ImuThread: Trying %s %ld index %d", mImuDevicePath.c_str(), HandleValue(),
                      static_cast<int>(mCurrentIndex));
    }
    if (Logging(2))
        DriverLog("IncrementImuDevice_ImuThread: Current %s %ld index %d", mImuDevicePath.c_str(), HandleValue(),
                  static_cast<int>(mCurrentIndex));
    if (mImuFileHandle) SetupImuDevice_ImuThread();
}

void cWmrImuLink::BeginSelection_ImuThread() {
    mCurrentIndex = 0;
    mImuDevicePath = mImuDeviceVec.empty() ? std::string() : mImuDeviceVec.front();
    mSettled = mImuDeviceVec.size() < 2;
    SetupImuDevice_ImuThread();
}

void cWmrImuLink::AfterPoll_ImuThread(bool tookSensorReport) {
    if (mSettled) return;
    if (!tookSensorReport) {
        IncrementImuDevice_ImuThread();
        return;
    }
    mSettled = true;
    if (Logging(2))
        DriverLog("Keeping %s %ld index %d", mImuDevicePath.c_str(), HandleValue(), static_cast<int>(mCurrentIndex));
}

void cWmrImuLink::Close_ImuThread() { CloseDevice(); }

platform::eHidRead cWmrImuLink::ReadReport(const platform::cHidStopSignal& stop, uint32_t& error) {
    mReportLength = 0;
    if (!mImuFileHandle) {
        error = platform::HidInvalidHandleError();
        return platform::eHidRead::Error;
    }
    if (mReportBuffer.empty()) {
        // Windows refuses a read into a buffer shorter than the report; waiting keeps
        // the thread from spinning on a device it cannot read.
        return stop.Wait(kUnsettledReadSeconds) ? platform::eHidRead::Stopped : platform::eHidRead::Timeout;
    }
    return mImuFileHandle->ReadReport(mReportBuffer.data(), mReportBuffer.size(), stop,
                                      mSettled ? -1.0 : kUnsettledReadSeconds, mReportLength, error);
}

}  // namespace halvex::wmr
