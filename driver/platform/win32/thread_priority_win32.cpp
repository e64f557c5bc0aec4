#include "platform/thread_priority.h"

#include <windows.h>
#if !defined(_MSC_VER)
#include <pthread.h>
#endif

namespace halvex::platform {

bool SetThreadTimeCritical(std::thread& thread) {
    if (!thread.joinable()) return false;
#if defined(_MSC_VER)
    HANDLE handle = thread.native_handle();
#else
    // With winpthreads the native handle is a pthread_t; its Win32 handle is needed.
    HANDLE handle = static_cast<HANDLE>(pthread_gethandle(thread.native_handle()));
#endif
    return handle && SetThreadPriority(handle, THREAD_PRIORITY_TIME_CRITICAL) != 0;
}

}  // namespace halvex::platform
