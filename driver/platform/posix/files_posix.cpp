#include "platform/files.h"

#include <filesystem>
#include <system_error>

namespace halvex::platform {

bool CreateDirectories(const std::string& path) {
    if (path.empty()) return false;
    std::error_code error;
    std::filesystem::create_directories(path, error);
    // create_directories reports false for a folder that already existed, and some
    // library versions report an error for a trailing separator: ask the result.
    return std::filesystem::is_directory(path, error);
}

std::FILE* OpenFile(const std::string& path, const char* mode) { return std::fopen(path.c_str(), mode); }

}  // namespace halvex::platform
