// HID over the device-setup interface and the HID class driver. Reads are
// overlapped so that a stop request can cancel one that waits for a silent device.
#include "platform/hid.h"

#include "platform/sleep.h"
#include "utf8_win32.h"

#include <windows.h>

#include <setupapi.h>
// MinGW's HID header declares its functions without C linkage.
extern "C" {
#include <hidsdi.h>
}

#include <algorithm>
#include <cmath>
#include <vector>

namespace halvex::platform {

namespace {

// More interfaces than any machine has: a bound on a walk that never ends.
constexpr DWORD kMaxInterfaceIndex = 4096;

// A wait time-out in milliseconds, bounded where no signal can end the wait.
DWORD WaitMilliseconds(double seconds, bool signalled) {
    if (!signalled && (seconds < 0.0 || seconds > kHidUnsignalledWaitSeconds)) seconds = kHidUnsignalledWaitSeconds;
    if (seconds < 0.0) return INFINITE;
    return static_cast<DWORD>(std::min(std::ceil(seconds * 1000.0), 1e9));
}

}  // namespace

std::vector<std::string> EnumerateHidInterfaces() {
    std::vector<std::string> paths;
    GUID hidGuid;
    HidD_GetHidGuid(&hidGuid);
    HDEVINFO set = SetupDiGetClassDevsW(&hidGuid, nullptr, nullptr, DIGCF_PRESENT | DIGCF_DEVICEINTERFACE);
    if (set == INVALID_HANDLE_VALUE) return paths;
    std::vector<unsigned char> detailBuffer;
    for (DWORD index = 0; index < kMaxInterfaceIndex; ++index) {
        SP_DEVICE_INTERFACE_DATA interfaceData{};
        interfaceData.cbSize = sizeof(interfaceData);
        if (!SetupDiEnumDeviceInterfaces(set, nullptr, &hidGuid, index, &interfaceData)) {
            if (GetLastError() == ERROR_NO_MORE_ITEMS) break;
            continue;
        }
        DWORD required = 0;
        SetupDiGetDeviceInterfaceDetailW(set, &interfaceData, nullptr, 0, &required, nullptr);
        if (required < sizeof(SP_DEVICE_INTERFACE_DETAIL_DATA_W)) continue;
        detailBuffer.assign(required, 0);
        auto* detail = reinterpret_cast<SP_DEVICE_INTERFACE_DETAIL_DATA_W*>(detailBuffer.data());
        detail->cbSize = sizeof(SP_DEVICE_INTERFACE_DETAIL_DATA_W);
        SP_DEVINFO_DATA deviceInfo{};
        deviceInfo.cbSize = sizeof(deviceInfo);
        if (!SetupDiGetDeviceInterfaceDetailW(set, &interfaceData, detail, required, nullptr, &deviceInfo)) continue;
        paths.push_back(Utf8FromWide(detail->DevicePath));
    }
    SetupDiDestroyDeviceInfoList(set);
    return paths;
}

cHidStopSignal::cHidStopSignal()
    : mNative(reinterpret_cast<intptr_t>(CreateEventW(nullptr, TRUE, FALSE, nullptr))) {
    if (!mNative) mCreationError = GetLastError();
}

cHidStopSignal::cHidStopSignal(sUnavailable) : mNative(0), mCreationError(ERROR_NOT_ENOUGH_MEMORY) {}

cHidStopSignal::~cHidStopSignal() {
    if (mNative) CloseHandle(reinterpret_cast<HANDLE>(mNative));
}

void cHidStopSignal::Raise() {
    if (mNative) SetEvent(reinterpret_cast<HANDLE>(mNative));
}

void cHidStopSignal::Clear() {
    if (mNative) ResetEvent(reinterpret_cast<HANDLE>(mNative));
}

bool cHidStopSignal::Valid() const { return mNative != 0; }

bool cHidStopSignal::Wait(double seconds) const {
    const DWORD milliseconds = WaitMilliseconds(seconds, Valid());
    if (!Valid()) {
        SleepFor(milliseconds / 1000.0);
        return false;
    }
    return WaitForSingleObject(reinterpret_cast<HANDLE>(mNative), milliseconds) == WAIT_OBJECT_0;
}

struct cHidDevice::sState {
    HANDLE handle = INVALID_HANDLE_VALUE;
    HANDLE readDone = nullptr;  // the overlapped read's event
};

cHidDevice::cHidDevice(std::unique_ptr<sState> state) : mState(std::move(state)) {}

cHidDevice::~cHidDevice() {
    if (!mState) return;
    if (mState->handle != INVALID_HANDLE_VALUE) CloseHandle(mState->handle);
    if (mState->readDone) CloseHandle(mState->readDone);
}

std::unique_ptr<cHidDevice> cHidDevice::Open(const std::string& path, uint32_t& error) {
    const HANDLE handle = CreateFileW(WideFromUtf8(path).c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                      OPEN_EXISTING, FILE_FLAG_OVERLAPPED, nullptr);
    if (handle == INVALID_HANDLE_VALUE) {
        error = GetLastError();
        return nullptr;
    }
    auto state = std::make_unique<sState>();
    state->handle = handle;
    state->readDone = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    if (!state->readDone) {
        error = GetLastError();
        CloseHandle(handle);
        return nullptr;
    }
    error = 0;
    return std::unique_ptr<cHidDevice>(new cHidDevice(std::move(state)));
}

bool cHidDevice::GetAttributes(sHidAttributes& attributes) const {
    HIDD_ATTRIBUTES raw{};
    raw.Size = sizeof(raw);  // 12
    if (!HidD_GetAttributes(mState->handle, &raw)) return false;
    attributes.vendorId = raw.VendorID;
    attributes.productId = raw.ProductID;
    attributes.versionNumber = raw.VersionNumber;
    return true;
}

bool cHidDevice::GetInputReportLength(size_t& length) const {
    PHIDP_PREPARSED_DATA preparsed = nullptr;
    if (!HidD_GetPreparsedData(mState->handle, &preparsed) || !preparsed) return false;
    HIDP_CAPS caps{};
    const bool ok = HidP_GetCaps(preparsed, &caps) == HIDP_STATUS_SUCCESS;
    HidD_FreePreparsedData(preparsed);
    if (!ok) return false;
    length = caps.InputReportByteLength;
    return true;
}

void cHidDevice::SetInputQueueSize(uint32_t reports) { HidD_SetNumInputBuffers(mState->handle, reports); }

eHidRead cHidDevice::ReadReport(uint8_t* buffer, size_t length, const cHidStopSignal& stop, double timeoutSeconds,
                                size_t& bytesRead, uint32_t& error) {
    bytesRead = 0;
    OVERLAPPED overlapped{};
    overlapped.hEvent = mState->readDone;
    ResetEvent(mState->readDone);
    DWORD count = 0;
    if (!ReadFile(mState->handle, buffer, static_cast<DWORD>(length), nullptr, &overlapped)) {
        const DWORD started = GetLastError();
        if (started != ERROR_IO_PENDING) {
            error = started;
            return eHidRead::Error;
        }
        const DWORD limit = WaitMilliseconds(timeoutSeconds, stop.Valid());
        // Without a stop signal only the read is waited for, never longer than the bound.
        const HANDLE waits[2] = {mState->readDone, reinterpret_cast<HANDLE>(stop.Native())};
        const DWORD waited = WaitForMultipleObjects(stop.Valid() ? 2 : 1, waits, FALSE, limit);
        if (waited != WAIT_OBJECT_0) {
            const DWORD waitError = waited == WAIT_FAILED ? GetLastError() : 0;
            // Cancel, and let the read finish before its buffer goes.
            CancelIoEx(mState->handle, &overlapped);
            GetOverlappedResult(mState->handle, &overlapped, &count, TRUE);
            if (waited == WAIT_TIMEOUT) return eHidRead::Timeout;
            if (waited == WAIT_OBJECT_0 + 1) return eHidRead::Stopped;
            error = waitError;
            return eHidRead::Error;
        }
    }
    if (!GetOverlappedResult(mState->handle, &overlapped, &count, TRUE)) {
        error = GetLastError();
        return eHidRead::Error;
    }
    bytesRead = count;
    error = 0;
    return eHidRead::Report;
}

long cHidDevice::NativeValue() const { return static_cast<long>(reinterpret_cast<intptr_t>(mState->handle)); }

uint32_t HidInvalidHandleError() { return ERROR_INVALID_HANDLE; }

}  // namespace halvex::platform
