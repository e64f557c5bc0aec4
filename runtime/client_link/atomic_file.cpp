#include "client_link/atomic_file.h"

#include "client_link/process_identity.h"

#include <fstream>
#include <system_error>

#if defined(_WIN32)
#include <windows.h>
#endif

namespace vrhost::link {
namespace fs = std::filesystem;
namespace {

bool RenameOver(const fs::path& from, const fs::path& to, std::string& error) {
#if defined(_WIN32)
    // Replaces an existing file in one step; flushed before the rename is reported.
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

}  // namespace

bool ReplaceFileContents(const fs::path& file, const std::string& contents, std::string& error) {
    std::error_code ec;
    if (file.has_parent_path()) fs::create_directories(file.parent_path(), ec);
    // One temporary name per process, so two writers never share one.
    fs::path temporary = file;
    temporary += ".tmp" + std::to_string(CurrentProcessId());
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

}  // namespace vrhost::link
