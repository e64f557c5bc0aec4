// Sets or clears an environment variable for one scope (POSIX only; call before
// any thread that could read the environment is started).
#pragma once

#ifndef _WIN32
#include <cstdlib>
#include <optional>
#include <string>

namespace halvex::test {

class cScopedEnv {
public:
    cScopedEnv(const char* name, const char* value) : mName(name) {
        if (const char* old = std::getenv(name)) mOld = old;
        if (value) {
            setenv(name, value, 1);
        } else {
            unsetenv(name);
        }
    }
    ~cScopedEnv() {
        if (mOld) {
            setenv(mName.c_str(), mOld->c_str(), 1);
        } else {
            unsetenv(mName.c_str());
        }
    }
    cScopedEnv(const cScopedEnv&) = delete;
    cScopedEnv& operator=(const cScopedEnv&) = delete;

private:
    std::string mName;
    std::optional<std::string> mOld;
};

}  // namespace halvex::test
#endif
