#include "path_registry_location.h"

#include <windows.h>
#include <shlobj.h>

#include <vector>

namespace halvex::pathreg {

namespace {

std::string ToUtf8(const std::wstring& text) {
    if (text.empty()) return {};
    const int size = WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0, nullptr, nullptr);
    std::string out(static_cast<size_t>(size), '\0');
    WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), out.data(), size, nullptr, nullptr);
    return out;
}

std::wstring ToWide(const char* text) {
    const int size = MultiByteToWideChar(CP_UTF8, 0, text, -1, nullptr, 0);
    if (size <= 1) return {};
    std::wstring out(static_cast<size_t>(size - 1), L'\0');
    MultiByteToWideChar(CP_UTF8, 0, text, -1, out.data(), size);
    return out;
}

}  // namespace

std::optional<std::string> EnvironmentValue(const char* name) {
    // The process environment, not the C runtime's narrow copy: that one is in the
    // code page and loses characters outside it.
    const std::wstring wideName = ToWide(name);
    const DWORD size = GetEnvironmentVariableW(wideName.c_str(), nullptr, 0);
    if (size <= 1) return std::nullopt;
    std::vector<wchar_t> value(size);
    if (GetEnvironmentVariableW(wideName.c_str(), value.data(), size) + 1 != size) return std::nullopt;
    return ToUtf8(value.data());
}

std::filesystem::path PathRegistryFile(std::string& error) {
    if (const auto override = EnvironmentValue("VR_PATHREG_OVERRIDE")) return std::filesystem::u8path(*override);
    wchar_t folder[MAX_PATH];
    if (SHGetFolderPathW(nullptr, CSIDL_LOCAL_APPDATA, nullptr, SHGFP_TYPE_CURRENT, folder) != S_OK) {
        error = "the shell names no local application data folder";
        return {};
    }
    return std::filesystem::path(folder) / L"openvr" / L"openvrpaths.vrpath";
}

std::filesystem::path ProgramFolder() {
    std::vector<wchar_t> path(32768);
    const DWORD length = GetModuleFileNameW(nullptr, path.data(), static_cast<DWORD>(path.size()));
    if (length == 0 || length >= path.size()) return {};
    return std::filesystem::path(std::wstring(path.data(), length)).parent_path();
}

}  // namespace halvex::pathreg
