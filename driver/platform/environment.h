// A variable of this process's environment, which the processes it starts inherit.
#pragma once

#include <cstdlib>
#include <string>

namespace halvex::platform {

inline void SetEnvironment(const char* name, const std::string& value) {
#if defined(_WIN32)
    _putenv_s(name, value.c_str());
#else
    setenv(name, value.c_str(), 1);
#endif
}

}  // namespace halvex::platform
