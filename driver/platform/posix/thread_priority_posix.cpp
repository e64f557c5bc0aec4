#include "platform/thread_priority.h"

#include <pthread.h>
#include <sched.h>

namespace halvex::platform {

bool SetThreadTimeCritical(std::thread& thread) {
    if (!thread.joinable()) return false;
    sched_param param{};
    param.sched_priority = sched_get_priority_max(SCHED_FIFO);
    // Needs CAP_SYS_NICE or an rtprio limit; ordinary users are refused, which is fine.
    return pthread_setschedparam(thread.native_handle(), SCHED_FIFO, &param) == 0;
}

}  // namespace halvex::platform
