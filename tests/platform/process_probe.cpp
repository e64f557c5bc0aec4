#include "process_probe.h"

#if defined(_WIN32)
#include <windows.h>
#else
#include <fstream>
#include <string>
#endif

namespace halvex::test {

bool ProcessIsAlive(int64_t processId) {
#if defined(_WIN32)
    HANDLE process = OpenProcess(SYNCHRONIZE, FALSE, static_cast<DWORD>(processId));
    if (!process) return false;
    const bool alive = WaitForSingleObject(process, 0) == WAIT_TIMEOUT;
    CloseHandle(process);
    return alive;
#else
    std::ifstream stat("/proc/" + std::to_string(processId) + "/stat");
    std::string line;
    if (!std::getline(stat, line)) return false;
    // "pid (name) S ...": the state follows the last parenthesis.
    const std::size_t close = line.rfind(')');
    return close != std::string::npos && close + 2 < line.size() && line[close + 2] != 'Z' && line[close + 2] != 'X';
#endif
}

}  // namespace halvex::test
