#include "client_link/process_identity.h"

#include <windows.h>

namespace vrhost::link {

uint32_t CurrentProcessId() { return static_cast<uint32_t>(GetCurrentProcessId()); }

bool ProcessIsRunning(uint32_t pid) {
    if (pid == 0) return false;
    HANDLE process = OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, pid);
    if (!process) return GetLastError() == ERROR_ACCESS_DENIED;
    DWORD code = 0;
    const bool running = GetExitCodeProcess(process, &code) && code == STILL_ACTIVE;
    CloseHandle(process);
    return running;
}

}  // namespace vrhost::link
