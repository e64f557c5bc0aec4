#include "client_link/runtime_registration.h"

#include "client_link/atomic_file.h"
#include "client_link/process_identity.h"
#include "client_link/state_folder.h"

#include <nlohmann/json.hpp>

#include <fstream>
#include <sstream>

namespace vrhost::link {
namespace fs = std::filesystem;
namespace {

bool ReadText(const fs::path& file, std::string& text) {
    std::ifstream in(file, std::ios::binary);
    if (!in) return false;
    std::ostringstream buffer;
    buffer << in.rdbuf();
    text = buffer.str();
    return !in.bad();
}

}  // namespace

fs::path DefaultSettingsFile() {
    const fs::path folder = RuntimeStateFolder();
    return folder.empty() ? fs::path() : folder / "vrhost.vrsettings";
}

fs::path RegistrationFile() {
    const fs::path folder = RuntimeStateFolder();
    return folder.empty() ? fs::path() : folder / "vrhost.json";
}

std::string EncodeRegistration(const sRuntimeRegistration& registration) {
    const nlohmann::json object = {
        {"pid", registration.pid}, {"port", registration.port}, {"settings", registration.settingsFile}};
    return object.dump(2, ' ', false, nlohmann::json::error_handler_t::replace) + "\n";
}

bool DecodeRegistration(const std::string& text, sRuntimeRegistration& registration) {
    const nlohmann::json object = nlohmann::json::parse(text, nullptr, false);
    if (!object.is_object()) return false;
    const auto pid = object.find("pid");
    const auto port = object.find("port");
    const auto settings = object.find("settings");
    if (pid == object.end() || !pid->is_number_unsigned() || pid->get<uint64_t>() > UINT32_MAX) return false;
    if (port == object.end() || !port->is_number_unsigned() || port->get<uint64_t>() == 0 ||
        port->get<uint64_t>() > UINT16_MAX) {
        return false;
    }
    registration.pid = pid->get<uint32_t>();
    registration.port = port->get<uint16_t>();
    registration.settingsFile = settings != object.end() && settings->is_string() ? settings->get<std::string>() : "";
    return true;
}

bool WriteRegistration(const sRuntimeRegistration& registration, std::string& error) {
    const fs::path file = RegistrationFile();
    if (file.empty()) {
        error = "no state folder (neither XDG_STATE_HOME nor HOME, or LOCALAPPDATA, is set)";
        return false;
    }
    return ReplaceFileContents(file, EncodeRegistration(registration), error);
}

std::optional<sRuntimeRegistration> ReadLiveRegistration() {
    const fs::path file = RegistrationFile();
    std::string text;
    sRuntimeRegistration registration;
    if (file.empty() || !ReadText(file, text) || !DecodeRegistration(text, registration)) return std::nullopt;
    if (!ProcessIsRunning(registration.pid)) return std::nullopt;
    return registration;
}

void RemoveRegistration(uint32_t pid) {
    const fs::path file = RegistrationFile();
    std::string text;
    sRuntimeRegistration registration;
    if (file.empty() || !ReadText(file, text)) return;
    if (DecodeRegistration(text, registration) && registration.pid != pid) return;
    std::error_code ec;
    fs::remove(file, ec);
}

}  // namespace vrhost::link
