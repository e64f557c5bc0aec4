#include "platform/thread_name.h"

#include <pthread.h>

namespace halvex::platform {

bool NameThread(std::thread& thread, const char* name) {
    if (!thread.joinable() || !name) return false;
    // The kernel refuses a name past its limit instead of cutting it.
    const std::string shortened = std::string(name).substr(0, kThreadNameLimit);
    return pthread_setname_np(thread.native_handle(), shortened.c_str()) == 0;
}

std::string CurrentThreadName() {
    char name[kThreadNameLimit + 1] = {};
    if (pthread_getname_np(pthread_self(), name, sizeof(name)) != 0) return std::string();
    return name;
}

}  // namespace halvex::platform
