#include "platform/files.h"

#include "utf8_win32.h"

#include <windows.h>

#include <algorithm>
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

bool WriteFileAtomically(const std::string& path, const std::string& contents, std::string& error) {
    const std::wstring target = WideFromUtf8(path);
    if (target.empty()) {
        error = "not a UTF-8 path: " + path;
        return false;
    }
    // One temporary name per process: two writers never share one.
    const std::wstring temporary = target + L".tmp" + std::to_wstring(GetCurrentProcessId());
    const std::string temporaryName = path + ".tmp" + std::to_string(GetCurrentProcessId());
    HANDLE file = CreateFileW(temporary.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        error = "cannot create " + temporaryName + " (error " + std::to_string(GetLastError()) + ")";
        return false;
    }
    size_t written = 0;
    bool ok = true;
    while (ok && written < contents.size()) {
        DWORD n = 0;
        const DWORD chunk = static_cast<DWORD>(std::min<size_t>(contents.size() - written, 1u << 20));
        ok = WriteFile(file, contents.data() + written, chunk, &n, nullptr) && n > 0;
        written += n;
    }
    // Without the flush a crash soon after the rename could leave an empty file under the old name.
    ok = ok && FlushFileBuffers(file);
    const DWORD writeError = ok ? 0 : GetLastError();
    ok = CloseHandle(file) && ok;
    if (!ok) {
        error = "cannot write " + temporaryName + " (error " + std::to_string(writeError ? writeError : GetLastError()) + ")";
        DeleteFileW(temporary.c_str());
        return false;
    }
    if (!MoveFileExW(temporary.c_str(), target.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
        error = "cannot replace " + path + " (error " + std::to_string(GetLastError()) + ")";
        DeleteFileW(temporary.c_str());
        return false;
    }
    return true;
}

}  // namespace halvex::platform
