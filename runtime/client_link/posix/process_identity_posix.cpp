#include "client_link/process_identity.h"

#include <cerrno>
#include <csignal>
#include <unistd.h>

namespace vrhost::link {

uint32_t CurrentProcessId() { return static_cast<uint32_t>(::getpid()); }

bool ProcessIsRunning(uint32_t pid) {
    if (pid == 0 || pid > 0x7FFFFFFFu) return false;
    // EPERM: it exists but belongs to someone else.
    return ::kill(static_cast<pid_t>(pid), 0) == 0 || errno == EPERM;
}

}  // namespace vrhost::link
