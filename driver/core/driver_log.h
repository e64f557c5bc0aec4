// The driver's one log function. Every line goes to the runtime's driver log; the
// driver writes no log file of its own and adds no prefix or line end.
#pragma once

#include <cstdint>

namespace vr {
class IVRDriverLog;
}

// printf-style; at most 1023 characters, the rest is cut. Dropped while no sink is installed.
void DriverLog(const char* format, ...)
#if defined(__GNUC__)
    __attribute__((format(printf, 1, 2)))
#endif
    ;

namespace halvex {

// Installs `sink` unless one is installed already.
void InstallDriverLogSink(vr::IVRDriverLog* sink);
void RemoveDriverLogSink();
bool HasDriverLogSink();

}  // namespace halvex

// Registered with the streaming library: its messages go to the same log.
void TessalyLogCallback(int32_t level, const char* message);
