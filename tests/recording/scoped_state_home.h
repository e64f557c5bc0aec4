// The recording log folder moved to a fresh temporary one for a test's duration
// (Linux: XDG_STATE_HOME), removed with its contents afterwards.
#pragma once

#if !defined(_WIN32)

#include <cstdlib>
#include <filesystem>
#include <random>
#include <string>
#include <system_error>

namespace halvex::test {

struct sScopedStateHome {
    sScopedStateHome()
        : folder(std::filesystem::temp_directory_path() / ("halvex-device-test-" + std::to_string(std::random_device{}()))) {
        setenv("XDG_STATE_HOME", folder.string().c_str(), 1);
    }
    ~sScopedStateHome() {
        unsetenv("XDG_STATE_HOME");
        std::error_code ignored;
        std::filesystem::remove_all(folder, ignored);
    }
    sScopedStateHome(const sScopedStateHome&) = delete;
    sScopedStateHome& operator=(const sScopedStateHome&) = delete;
    std::filesystem::path folder;
};

}  // namespace halvex::test

#endif
