#include "core/driver_log.h"

#include "core/callback_boundary.h"

#include <openvr_driver.h>

#include <atomic>
#include <cstdarg>
#include <cstdio>

namespace {

// Written by Init and Cleanup only, but read from every driver thread.
std::atomic<vr::IVRDriverLog*> gLogSink{nullptr};

halvex::cCallbackBoundary gLibraryLogBoundary("the streaming library's log callback");

}  // namespace

void DriverLog(const char* format, ...) {
    vr::IVRDriverLog* sink = gLogSink.load(std::memory_order_acquire);
    if (!sink || !format) return;
    char buffer[1024];
    va_list args;
    va_start(args, format);
    // vsnprintf truncates to the buffer and always terminates it.
    const int written = std::vsnprintf(buffer, sizeof(buffer), format, args);
    va_end(args);
    if (written < 0) return;
    sink->Log(buffer);
}

namespace halvex {

void InstallDriverLogSink(vr::IVRDriverLog* sink) {
    vr::IVRDriverLog* expected = nullptr;
    gLogSink.compare_exchange_strong(expected, sink, std::memory_order_acq_rel);
}

void RemoveDriverLogSink() { gLogSink.store(nullptr, std::memory_order_release); }

bool HasDriverLogSink() { return gLogSink.load(std::memory_order_acquire) != nullptr; }

}  // namespace halvex

void TessalyLogCallback(int32_t level, const char* message) {
    const char* text = message ? message : "";
    gLibraryLogBoundary.Run([&] {
        switch (level) {
            case 1: DriverLog("TessalyLib [DEBUG]: %s\n", text); break;
            case 2: DriverLog("TessalyLib [INFO] : %s\n", text); break;
            case 3: DriverLog("TessalyLib [WARN] : %s\n", text); break;
            case 4: DriverLog("TessalyLib [ERROR]: %s\n", text); break;
            default: DriverLog("TessalyLib [?????]: %s\n", text); break;
        }
    });
}
