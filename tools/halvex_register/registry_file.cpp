#include "registry_file.h"

#include <fstream>
#include <sstream>
#include <system_error>

#if defined(_WIN32)
#include <windows.h>
#else
#include <unistd.h>
#endif

namespace halvex::pathreg {

namespace fs = std::filesystem;

namespace {

unsigned long ProcessId() {
#if defined(_WIN32)
    return GetCurrentProcessId();
#else
    return static_cast<unsigned long>(getpid());
#endif
}

bool IsMarkedReadOnly(const fs::path& file) {
#if defined(_WIN32)
    const DWORD attributes = GetFileAttributesW(file.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_READONLY) != 0;
#else
    std::error_code ec;
    const fs::perms perms = fs::status(file, ec).permissions();
    return !ec && (perms & fs::perms::owner_write) == fs::perms::none;
#endif
}

bool RenameOver(const fs::path& from, const fs::path& to, std::string& error) {
#if defined(_WIN32)
    if (MoveFileExW(from.c_str(), to.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) return true;
    error = "cannot replace " + to.u8string() + " (error " + std::to_string(GetLastError()) + ")";
    return false;
#else
    std::error_code ec;
    fs::rename(from, to, ec);
    if (!ec) return true;
    error = "cannot replace " + to.u8string() + ": " + ec.message();
    return false;
#endif
}

bool ReplaceAtomically(const fs::path& file, const std::string& contents, std::string& error) {
    fs::path temporary = file;
    temporary += ".tmp" + std::to_string(ProcessId());
    std::error_code ec;
    {
        std::ofstream out(temporary, std::ios::binary | std::ios::trunc);
        out.write(contents.data(), static_cast<std::streamsize>(contents.size()));
        out.flush();
        if (!out) {
            error = "cannot write " + temporary.u8string();
            out.close();
            fs::remove(temporary, ec);
            return false;
        }
    }
    if (!RenameOver(temporary, file, error)) {
        fs::remove(temporary, ec);
        return false;
    }
    return true;
}

}  // namespace

bool ReadRegistryFile(const fs::path& file, sRegistryFileState& state, std::string& error) {
    state = {};
    std::error_code ec;
    const fs::file_status status = fs::status(file, ec);
    if (ec || !fs::exists(status)) return true;
    if (!fs::is_regular_file(status)) {
        error = file.u8string() + " is not a file";
        return false;
    }
    std::ifstream in(file, std::ios::binary);
    std::ostringstream bytes;
    if (in) bytes << in.rdbuf();
    if (!in || in.bad()) {
        error = "cannot read " + file.u8string();
        return false;
    }
    state.exists = true;
    state.bytes = bytes.str();
    state.readOnly = IsMarkedReadOnly(file);
    return true;
}

fs::path BackupFile(const fs::path& file) {
    fs::path backup = file;
    backup += ".bak";
    return backup;
}

bool WriteRegistryFile(const fs::path& file, const sRegistryFileState& previous, const std::string& contents,
                       std::string& error) {
    if (previous.exists && previous.readOnly) {
        error = file.u8string() + " is read-only";
        return false;
    }
    std::error_code ec;
    if (file.has_parent_path()) {
        fs::create_directories(file.parent_path(), ec);
        if (ec) {
            error = "cannot create " + file.parent_path().u8string() + ": " + ec.message();
            return false;
        }
    }
    if (previous.exists && !ReplaceAtomically(BackupFile(file), previous.bytes, error)) return false;
    return ReplaceAtomically(file, contents, error);
}

}  // namespace halvex::pathreg
