// One lock for the library's state and its one connection: the exported functions
// and the interface methods may be called from any thread.
#pragma once

#include <mutex>

namespace openvr_api {

std::mutex& LibraryMutex();

}  // namespace openvr_api
