// Reading and replacing the path registry file. A replacement is atomic (a
// temporary file beside it, renamed over it) and keeps the previous bytes in a
// backup beside it first.
#pragma once

#include <filesystem>
#include <string>

namespace halvex::pathreg {

struct sRegistryFileState {
    bool exists = false;
    bool readOnly = false;  // the file's own read-only mark, honoured even where the process could write past it
    std::string bytes;
};

// False with a reason when the file exists but cannot be read.
bool ReadRegistryFile(const std::filesystem::path& file, sRegistryFileState& state, std::string& error);

// <file>.bak
std::filesystem::path BackupFile(const std::filesystem::path& file);

// Creates missing folders; when `previous` exists, first writes its bytes to the
// backup. On failure nothing of the registry has changed and `error` says why.
bool WriteRegistryFile(const std::filesystem::path& file, const sRegistryFileState& previous,
                       const std::string& contents, std::string& error);

}  // namespace halvex::pathreg
