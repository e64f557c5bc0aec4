// Thread priority for the tracking threads.
#pragma once

#include <thread>

namespace halvex::platform {

// Raises `thread` to time-critical priority. Best effort: where the system refuses
// (an unprivileged Linux process), returns false and leaves the thread as it was.
bool SetThreadTimeCritical(std::thread& thread);

}  // namespace halvex::platform
