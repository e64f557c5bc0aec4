#include "library_log.h"

#include <cstdarg>
#include <cstdio>

namespace tessaly {
namespace {
std::atomic<TessalyLogCallbackFunc> gLogCallback{nullptr};
}

void SetLogCallback(TessalyLogCallbackFunc callback) { gLogCallback.store(callback); }

void Log(Verbosity level, const char* format, ...) {
    TessalyLogCallbackFunc callback = gLogCallback.load();
    if (callback == nullptr) return;
    char message[512];
    va_list args;
    va_start(args, format);
    std::vsnprintf(message, sizeof message, format, args);
    va_end(args);
    callback(level, message);
}

}  // namespace tessaly
