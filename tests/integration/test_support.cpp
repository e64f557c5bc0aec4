#include "test_support.h"

#include "vrhost/host/driver_location.h"

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <random>

namespace halvex::test {

std::string DriverFolder() { return vrhost::DriverFolderBesideProgram(); }

namespace {

// What the driver keeps between sessions (a WMR head's learned biases) must come from
// no earlier run and from no user's own folder: every test program starts with a
// state folder of its own, which a test may point elsewhere again.
struct sFreshStateFolder {
    sFreshStateFolder()
        : folder(std::filesystem::temp_directory_path() /
                 ("halvex-test-state-" + std::to_string(std::random_device{}()))) {
#if defined(_WIN32)
        SetEnvironment("LOCALAPPDATA", folder.string());
#else
        SetEnvironment("XDG_STATE_HOME", folder.string());
#endif
    }
    ~sFreshStateFolder() {
        std::error_code ignored;
        std::filesystem::remove_all(folder, ignored);
    }
    std::filesystem::path folder;
};
const sFreshStateFolder gFreshStateFolder;

}  // namespace

bool RunUntil(vrhost::cHost& host, const std::function<bool()>& done, double seconds) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::duration<double>(seconds);
    while (std::chrono::steady_clock::now() < deadline) {
        if (done()) return true;
        host.RunFrames(9);
    }
    return done();
}

namespace {

std::string Quoted(const std::string& text) {
    std::string quoted = "\"";
    for (char c : text) {
        if (c == '"' || c == '\\') quoted += '\\';
        quoted += c;
    }
    return quoted + "\"";
}

std::string SettingsJson(const std::vector<sSetting>& settings,
                         const std::vector<std::pair<std::string, std::string>>& overrides) {
    std::string json = "{\n  \"driver_halvex\": {";
    for (size_t i = 0; i < settings.size(); ++i) {
        const sSetting& setting = settings[i];
        json += (i ? ",\n    " : "\n    ") + Quoted(setting.key) + ": ";
        switch (setting.type) {
            case sSetting::Int: json += std::to_string(setting.intValue); break;
            case sSetting::Bool: json += setting.boolValue ? "true" : "false"; break;
            case sSetting::String: json += Quoted(setting.stringValue); break;
        }
    }
    json += "\n  },\n  \"TrackingOverrides\": {";
    for (size_t i = 0; i < overrides.size(); ++i)
        json += (i ? ",\n    " : "\n    ") + Quoted(overrides[i].first) + ": " + Quoted(overrides[i].second);
    return json + "\n  }\n}\n";
}

}  // namespace

std::unique_ptr<vrhost::cHost> MakeHost(const std::vector<sSetting>& settings, vrhost::sHostOptions options,
                                        const std::vector<std::pair<std::string, std::string>>& overrides) {
    // Test programs run in parallel: the name must be unique across processes.
    static const unsigned long long run = std::random_device{}();
    static int sessions = 0;
    const std::filesystem::path file =
        std::filesystem::temp_directory_path() /
        ("halvex-test-" + std::to_string(run) + "-" + std::to_string(++sessions) + ".vrsettings");
    {
        std::ofstream out(file, std::ios::binary | std::ios::trunc);
        out << SettingsJson(settings, overrides);
    }
    options.settingsFile = file.u8string();
    auto host = std::make_unique<vrhost::cHost>(options);
    host->LoadDriver(DriverFolder());
    std::error_code ignored;
    std::filesystem::remove(file, ignored);
    return host;
}

std::string PropertyString(const vrhost::cHost& host, vr::TrackedDeviceIndex_t index, vr::ETrackedDeviceProperty prop) {
    for (const vrhost::sPropertyRecord& record : host.Properties(index)) {
        if (record.prop == prop && record.tag == vr::k_unStringPropertyTag)
            return std::string(record.bytes.begin(), std::find(record.bytes.begin(), record.bytes.end(), '\0'));
    }
    return "<unset>";
}

}  // namespace halvex::test
