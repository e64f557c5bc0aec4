#include "platform/files.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <system_error>
#include <unistd.h>

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

bool WriteFileAtomically(const std::string& path, const std::string& contents, std::string& error) {
    // One temporary name per process: two writers never share one.
    const std::string temporary = path + ".tmp" + std::to_string(static_cast<long>(getpid()));
    const int fd = ::open(temporary.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (fd < 0) {
        error = "cannot create " + temporary + ": " + std::strerror(errno);
        return false;
    }
    size_t written = 0;
    while (written < contents.size()) {
        const ssize_t n = ::write(fd, contents.data() + written, contents.size() - written);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) break;
        written += static_cast<size_t>(n);
    }
    // Without the flush a crash soon after the rename could leave an empty file under the old name.
    const bool complete = written == contents.size() && ::fsync(fd) == 0;
    const int writeErrno = errno;
    const bool closed = ::close(fd) == 0;
    if (!complete || !closed) {
        error = "cannot write " + temporary + ": " + std::strerror(complete ? errno : writeErrno);
        ::unlink(temporary.c_str());
        return false;
    }
    if (std::rename(temporary.c_str(), path.c_str()) != 0) {
        error = "cannot replace " + path + ": " + std::strerror(errno);
        ::unlink(temporary.c_str());
        return false;
    }
    return true;
}

}  // namespace halvex::platform
