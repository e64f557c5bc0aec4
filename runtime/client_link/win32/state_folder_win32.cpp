#include "client_link/state_folder.h"

#include <windows.h>

#include <vector>

namespace vrhost::link {

std::filesystem::path RuntimeStateFolder() {
    // The process environment, not this module's C runtime copy of it: a statically
    // linked library keeps its own copy, taken when it was loaded.
    const DWORD size = GetEnvironmentVariableW(L"LOCALAPPDATA", nullptr, 0);
    if (size <= 1) return {};
    std::vector<wchar_t> value(size);
    if (GetEnvironmentVariableW(L"LOCALAPPDATA", value.data(), size) + 1 != size) return {};
    return std::filesystem::path(value.data()) / "vrhost";
}

}  // namespace vrhost::link
