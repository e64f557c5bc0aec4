#include "platform/files.h"

#include "utf8_win32.h"

#include <filesystem>
#include <system_error>

namespace halvex::platform {

bool CreateDirectories(const std::string& path) {
    // A wide path goes to the system unconverted; a narrow one would be read as ANSI.
    const std::filesystem::path folder(WideFromUtf8(path));
    if (folder.empty()) return false;
    std::error_code error;
    std::filesystem::create_directories(folder, error);
    // create_directories reports false for a folder that already existed, and some
    // library versions report an error for a trailing separator: ask the result.
    return std::filesystem::is_directory(folder, error);
}

std::FILE* OpenFile(const std::string& path, const char* mode) {
    const std::wstring widePath = WideFromUtf8(path);
    const std::wstring wideMode = WideFromUtf8(mode ? mode : "");
    if (widePath.empty() || wideMode.empty()) return nullptr;
    return _wfopen(widePath.c_str(), wideMode.c_str());
}

}  // namespace halvex::platform
