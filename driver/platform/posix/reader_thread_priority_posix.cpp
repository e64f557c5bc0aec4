#include "platform/reader_thread_priority.h"

#include <cerrno>
#include <pthread.h>
#include <sched.h>
#include <sys/resource.h>
#include <sys/syscall.h>
#include <unistd.h>

namespace halvex::platform {
namespace {

// The highest SCHED_FIFO priority this process may take, 0 when none.
int AllowedRealTimePriority() {
    const int maximum = sched_get_priority_max(SCHED_FIFO);
    if (geteuid() == 0) return maximum;
    rlimit limit{};
    if (getrlimit(RLIMIT_RTPRIO, &limit) != 0) return 0;
    if (limit.rlim_cur == RLIM_INFINITY) return maximum;
    return static_cast<int>(limit.rlim_cur < static_cast<rlim_t>(maximum) ? limit.rlim_cur : maximum);
}

}  // namespace

cReaderThreadPriority::cReaderThreadPriority() {
    int priority = AllowedRealTimePriority();
    if (priority <= 0) priority = sched_get_priority_max(SCHED_FIFO);  // CAP_SYS_NICE may still allow it
    sched_param param{};
    param.sched_priority = priority;
    const int error = pthread_setschedparam(pthread_self(), SCHED_FIFO, &param);
    if (error == 0) {
        mOutcome.timeCritical = true;
        return;
    }
    mOutcome.realTimeError = error;
    // A Linux thread has its own nice value; RLIMIT_NICE bounds how low it may go.
    const pid_t thread = static_cast<pid_t>(syscall(SYS_gettid));
    errno = 0;
    const int current = getpriority(PRIO_PROCESS, static_cast<id_t>(thread));
    rlimit limit{};
    int lowest = -20;
    if (geteuid() != 0 && getrlimit(RLIMIT_NICE, &limit) == 0 && limit.rlim_cur != RLIM_INFINITY)
        lowest = 20 - static_cast<int>(limit.rlim_cur);
    if (lowest < -20) lowest = -20;
    mOutcome.niceValue = current;
    for (int nice = lowest; nice < current; ++nice) {
        if (setpriority(PRIO_PROCESS, static_cast<id_t>(thread), nice) == 0) {
            mOutcome.niceValue = nice;
            break;
        }
    }
}

cReaderThreadPriority::~cReaderThreadPriority() = default;

}  // namespace halvex::platform
