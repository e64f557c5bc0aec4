#include "platform/reader_thread_priority.h"

#include <windows.h>

#include <avrt.h>

namespace halvex::platform {

cReaderThreadPriority::cReaderThreadPriority() {
    mOutcome.timeCritical = SetThreadPriority(GetCurrentThread(), THREAD_PRIORITY_TIME_CRITICAL) != 0;
    DWORD taskIndex = 0;
    HANDLE handle = AvSetMmThreadCharacteristicsW(L"Pro Audio", &taskIndex);
    if (!handle) {
        mOutcome.classError = static_cast<int>(GetLastError());
        return;
    }
    mClassHandle = handle;
    mOutcome.classJoined = true;
    if (AvSetMmThreadPriority(handle, AVRT_PRIORITY_HIGH))
        mOutcome.classPriorityRaised = true;
    else
        mOutcome.classPriorityError = static_cast<int>(GetLastError());
}

cReaderThreadPriority::~cReaderThreadPriority() {
    if (mClassHandle) AvRevertMmThreadCharacteristics(static_cast<HANDLE>(mClassHandle));
}

}  // namespace halvex::platform
