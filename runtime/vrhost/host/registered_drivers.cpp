#include "vrhost/host/registered_drivers.h"

#include "vrhost/host/driver_location.h"
#include "vrhost/host/host_error.h"

#include <nlohmann/json.hpp>

#include <cstdlib>
#include <system_error>

#if defined(_WIN32)
#include <windows.h>
#include <shlobj.h>
#include <vector>
#endif

namespace vrhost {

namespace fs = std::filesystem;

namespace {

#if defined(_WIN32)
// The process environment, not the C runtime's copy, which is in the code page.
fs::path EnvironmentPath(const wchar_t* name) {
    const DWORD size = GetEnvironmentVariableW(name, nullptr, 0);
    if (size <= 1) return {};
    std::vector<wchar_t> value(size);
    if (GetEnvironmentVariableW(name, value.data(), size) + 1 != size) return {};
    return fs::path(value.data());
}
#else
fs::path EnvironmentPath(const char* name) {
    const char* value = std::getenv(name);
    return value && value[0] != '\0' ? fs::path(value) : fs::path();
}
#endif

}  // namespace

fs::path PathRegistryFile() {
#if defined(_WIN32)
    const fs::path override = EnvironmentPath(L"VR_PATHREG_OVERRIDE");
    if (!override.empty()) return override;
    wchar_t folder[MAX_PATH];
    if (SHGetFolderPathW(nullptr, CSIDL_LOCAL_APPDATA, nullptr, SHGFP_TYPE_CURRENT, folder) != S_OK) return {};
    return fs::path(folder) / L"openvr" / L"openvrpaths.vrpath";
#else
    const fs::path override = EnvironmentPath("VR_PATHREG_OVERRIDE");
    if (!override.empty()) return override;
    fs::path config = EnvironmentPath("XDG_CONFIG_HOME");
    if (config.empty()) {
        const fs::path home = EnvironmentPath("HOME");
        if (home.empty()) return {};
        config = home / ".config";
    }
    return config / "openvr" / "openvrpaths.vrpath";
#endif
}

sRegisteredDrivers ReadRegisteredDrivers() {
    sRegisteredDrivers drivers;
    drivers.registry = PathRegistryFile();
    if (drivers.registry.empty()) {
        drivers.error = "the system names no folder for the path registry";
        return drivers;
    }
    std::error_code ec;
    if (!fs::exists(drivers.registry, ec)) {
        drivers.error = drivers.registry.u8string() + " does not exist";
        return drivers;
    }
    std::string text;
    if (!ReadWholeFile(drivers.registry, text)) {
        drivers.error = "cannot read " + drivers.registry.u8string();
        return drivers;
    }
    const nlohmann::json root = nlohmann::json::parse(text, nullptr, false);
    if (root.is_discarded() || !root.is_object()) {
        drivers.error = "Unable to parse " + drivers.registry.u8string();
        return drivers;
    }
    drivers.found = true;
    const auto list = root.find("external_drivers");
    if (list == root.end() || !list->is_array()) return drivers;
    for (const nlohmann::json& entry : *list) {
        if (entry.is_string()) drivers.folders.push_back(entry.get<std::string>());
    }
    return drivers;
}

std::string DriverFromPathRegistry(std::ostream& out) {
    const sRegisteredDrivers drivers = ReadRegisteredDrivers();
    if (!drivers.found) throw cHostError("no --driver given, and no path registry to find one in: " + drivers.error);
    std::string chosen;
    for (const std::string& folder : drivers.folders) {
        try {
            (void)LocateDriver(folder);
        } catch (const cHostError& e) {
            out << "vrhost: registered driver not loaded: " << e.what() << "\n";
            continue;
        }
        if (chosen.empty()) {
            chosen = folder;
            out << "vrhost: hosting " << folder << ", registered in " << drivers.registry.u8string() << "\n";
        } else {
            out << "vrhost: hosts one driver; registered driver " << folder << " not loaded\n";
        }
    }
    if (chosen.empty()) {
        throw cHostError("no --driver given, and " + drivers.registry.u8string() + " lists no driver folder that loads");
    }
    return chosen;
}

}  // namespace vrhost
