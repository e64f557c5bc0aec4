#include "platform/child_process.h"

#include <cerrno>
#include <csignal>
#include <fcntl.h>
#include <linux/close_range.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

namespace halvex::platform {

std::string ExecutableFileName(const std::string& baseName) { return baseName; }

std::string cChildProcess::CommandLineFor(const std::string& executablePath) { return executablePath; }

bool cChildProcess::Fail(eFailure failure, int error) {
    mFailure = failure;
    mError = error;
    return false;
}

bool cChildProcess::Launch(const std::string& executablePath) {
    Terminate();
    // exec failure is reported through a pipe that closes by itself on a successful exec.
    int errorPipe[2];
    if (pipe2(errorPipe, O_CLOEXEC) != 0) return Fail(eFailure::Spawn, errno);
    const pid_t parent = getpid();
    char* const argv[] = {const_cast<char*>(executablePath.c_str()), nullptr};
    const pid_t pid = fork();
    if (pid < 0) {
        const int error = errno;
        close(errorPipe[0]);
        close(errorPipe[1]);
        return Fail(eFailure::Spawn, error);
    }
    if (pid == 0) {
        // Only async-signal-safe calls from here to exec.
        prctl(PR_SET_PDEATHSIG, SIGKILL);
        if (getppid() != parent) _exit(127);  // the parent ended before the request took
        close_range(3, ~0U, CLOSE_RANGE_CLOEXEC);  // inherit no handles
        sigset_t none;
        sigemptyset(&none);
        sigprocmask(SIG_SETMASK, &none, nullptr);
        execv(argv[0], argv);
        const int error = errno;
        ssize_t ignored = write(errorPipe[1], &error, sizeof(error));
        (void)ignored;
        _exit(127);
    }
    close(errorPipe[1]);
    int childError = 0;
    ssize_t got;
    do {
        got = read(errorPipe[0], &childError, sizeof(childError));
    } while (got < 0 && errno == EINTR);
    close(errorPipe[0]);
    if (got == static_cast<ssize_t>(sizeof(childError))) {
        int status = 0;
        while (waitpid(pid, &status, 0) < 0 && errno == EINTR) {
        }
        return Fail(eFailure::Spawn, childError);
    }
    mProcessId = pid;
    mRunning = true;
    mFailure = eFailure::None;
    mError = 0;
    return true;
}

bool cChildProcess::HasEnded() {
    if (!mRunning) return true;
    int status = 0;
    pid_t result;
    do {
        result = waitpid(static_cast<pid_t>(mProcessId), &status, WNOHANG);
    } while (result < 0 && errno == EINTR);
    if (result == 0) return false;
    // Reaped, or no longer our child (someone else reaped it): either way it is gone.
    mRunning = false;
    return true;
}

void cChildProcess::Terminate() {
    if (!mRunning) return;
    kill(static_cast<pid_t>(mProcessId), SIGKILL);
    int status = 0;
    while (waitpid(static_cast<pid_t>(mProcessId), &status, 0) < 0 && errno == EINTR) {
    }
    mRunning = false;
}

void cChildProcess::Close() { Terminate(); }

}  // namespace halvex::platform
