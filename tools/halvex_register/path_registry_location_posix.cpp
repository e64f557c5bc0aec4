#include "path_registry_location.h"

#include <cstdlib>

namespace halvex::pathreg {

std::optional<std::string> EnvironmentValue(const char* name) {
    const char* value = std::getenv(name);
    if (!value || value[0] == '\0') return std::nullopt;
    return std::string(value);
}

std::filesystem::path PathRegistryFile(std::string& error) {
    if (const auto override = EnvironmentValue("VR_PATHREG_OVERRIDE")) return std::filesystem::u8path(*override);
    std::filesystem::path config;
    if (const auto configHome = EnvironmentValue("XDG_CONFIG_HOME")) {
        config = std::filesystem::u8path(*configHome);
    } else if (const auto home = EnvironmentValue("HOME")) {
        config = std::filesystem::u8path(*home) / ".config";
    } else {
        error = "neither XDG_CONFIG_HOME nor HOME is set";
        return {};
    }
    return config / "openvr" / "openvrpaths.vrpath";
}

std::filesystem::path ProgramFolder() {
    std::error_code ec;
    const std::filesystem::path program = std::filesystem::read_symlink("/proc/self/exe", ec);
    return ec ? std::filesystem::path() : program.parent_path();
}

}  // namespace halvex::pathreg
