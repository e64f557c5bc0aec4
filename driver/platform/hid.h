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

// The longest a read or wait lasts when its stop signal could not be made: the
// caller then sees its own stop flag that often instead of being woken.
constexpr double kHidUnsignalledWaitSeconds = 0.1;

// Raised by one thread to end a read another thread is blocked in. Stays raised
// until cleared, so a stop that comes just before the read is not lost.
class cHidStopSignal {
public:
    cHidStopSignal();
    // A signal that could not be made, as when the system refuses the event.
    struct sUnavailable {};
    explicit cHidStopSignal(sUnavailable);
    ~cHidStopSignal();
    cHidStopSignal(const cHidStopSignal&) = delete;
    cHidStopSignal& operator=(const cHidStopSignal&) = delete;

    void Raise();
    void Clear();
    // Until raised or `seconds` passed (bounded by kHidUnsignalledWaitSeconds when
    // not valid); true when raised.
    bool Wait(double seconds) const;
    // False when the system refused the signal; `CreationError` then tells why.
    bool Valid() const;
    uint32_t CreationError() const { return mCreationError; }
    intptr_t Native() const { return mNative; }

private:
    intptr_t mNative;
    uint32_t mCreationError = 0;
};

struct sHidAttributes {
    uint16_t vendorId = 0;
    uint16_t productId = 0;
    uint16_t versionNumber = 0;
};

enum class eHidRead { Report, Stopped, Timeout, Error };

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
    // Waits for one whole input report into `buffer` (cut to `length`; `bytesRead`
    // tells how much came), for `stop`, or for `timeoutSeconds` (below 0: no limit;
    // with a stop signal that is not valid, at most kHidUnsignalledWaitSeconds).
    eHidRead ReadReport(uint8_t* buffer, size_t length, const cHidStopSignal& stop, double timeoutSeconds,
                        size_t& bytesRead, uint32_t& error);
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
