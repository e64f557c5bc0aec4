// Thread names, so that a profiler, a debugger or /proc tells the driver's threads
// apart instead of showing each as the host process.
#pragma once

#include <cstddef>
#include <string>
#include <thread>

namespace halvex::platform {

// Linux keeps at most this many characters of a name; longer names are cut there.
constexpr std::size_t kThreadNameLimit = 15;

// Names `thread` (best effort: false where the system refuses or offers no names).
bool NameThread(std::thread& thread, const char* name);

// The calling thread's name as the system reports it; empty when it cannot.
std::string CurrentThreadName();

}  // namespace halvex::platform
