#include "platform/module_location.h"

#include "utf8_win32.h"

#include <windows.h>

#include <vector>

namespace halvex::platform {

std::string ThisModuleFolder() {
    HMODULE module = nullptr;
    if (!GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                            reinterpret_cast<LPCWSTR>(&ThisModuleFolder), &module))
        return {};
    // Paths may exceed MAX_PATH; grow until the name fits.
    std::vector<wchar_t> buffer(MAX_PATH);
    for (;;) {
        const DWORD length = GetModuleFileNameW(module, buffer.data(), static_cast<DWORD>(buffer.size()));
        if (length == 0) return {};
        if (length < buffer.size()) break;
        if (buffer.size() >= 32768) return {};
        buffer.resize(buffer.size() * 2);
    }
    std::string path = Utf8FromWide(buffer.data());
    const std::size_t separator = path.find_last_of("\\/");
    if (separator == std::string::npos) return {};
    return path.substr(0, separator + 1);
}

}  // namespace halvex::platform
