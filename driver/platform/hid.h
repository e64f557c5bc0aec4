// HID interfaces of the operating system: the present ones, and blocking reads of
// whole input reports that a stop request from another thread ends at once.
//
// Windows: the device-setup interface and the HID class driver. Linux: hidraw
// (/sys/class/hidraw, /dev/hidrawN), where the environment variable
// HALVEX_HIDRAW_ROOT, when set, names a folder that stands for "/" (the test
// runtime lays a simulated headset's tree there).
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace halvex::platform {

// Paths (UTF-8) of every present HID interface, in the system's order.
std::vector<std::string> EnumerateHidInterfaces();

// Raised by one thread to end a read another thread is blocked in. Stays raised
// until cleared, so a stop that comes just before the read is not lost.
class cHidStopSignal {
public:
    cHidStopSignal();
    ~cHidStopSignal();
    cHidStopSignal(const cHidStopSignal&) = delete;
    cHidStopSignal& operator=(const cHidStopSignal&) = delete;

    void Raise();
    void Clear();
    intptr_t Native() const { return mNative; }

private:
    intptr_t mNative;
};

struct sHidAttributes {
    uint16_t vendorId = 0;
    uint16_t productId = 0;
    uint16_t versionNumber = 0;
};

enum class eHidRead { Report, Stopped, Error };

class cHidDevice {
public:
    // Opens `path` for reading, shared with other readers and writers. Null with
    // the system's error code when it cannot be opened.
    static std::unique_ptr<cHidDevice> Open(const std::string& path, uint32_t& error);
    ~cHidDevice();
    cHidDevice(const cHidDevice&) = delete;
    cHidDevice& operator=(const cHidDevice&) = delete;

    bool GetAttributes(sHidAttributes& attributes) const;
    // Bytes of the longest input report, with its id byte where the device numbers
    // its reports. False when the report descriptor cannot be had.
    bool GetInputReportLength(size_t& length) const;
    // How many input reports the system keeps queued for this handle (where it can).
    void SetInputQueueSize(uint32_t reports);
    // Waits for one whole input report into `buffer` (cut to `length`), or for `stop`.
    eHidRead ReadReport(uint8_t* buffer, size_t length, const cHidStopSignal& stop, uint32_t& error);
    // The handle's numeric value, for log lines.
    long NativeValue() const;

private:
    struct sState;
    explicit cHidDevice(std::unique_ptr<sState> state);
    std::unique_ptr<sState> mState;
};

// The error a read reports on a handle that is not open.
uint32_t HidInvalidHandleError();

}  // namespace halvex::platform
