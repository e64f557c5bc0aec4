#include "test_support.h"

#include <filesystem>

#if defined(_WIN32)
#include <windows.h>
#endif

namespace halvex::test {

std::string DriverFolder() {
#if defined(_WIN32)
    wchar_t path[4096];
    const DWORD length = GetModuleFileNameW(nullptr, path, 4096);
    const std::filesystem::path exe(std::wstring(path, length));
#else
    const std::filesystem::path exe = std::filesystem::read_symlink("/proc/self/exe");
#endif
    return (exe.parent_path().parent_path() / "halvex").u8string();
}

std::unique_ptr<vrhost::cHost> MakeHost(const std::vector<sSetting>& settings, vrhost::sHostOptions options) {
    auto host = std::make_unique<vrhost::cHost>(options);
    host->LoadDriver(DriverFolder());
    for (const sSetting& setting : settings) {
        vr::EVRSettingsError error = vr::VRSettingsError_None;
        switch (setting.type) {
            case sSetting::Int:
                host->Settings().SetInt32("driver_halvex", setting.key.c_str(), setting.intValue, &error);
                break;
            case sSetting::Bool:
                host->Settings().SetBool("driver_halvex", setting.key.c_str(), setting.boolValue, &error);
                break;
            case sSetting::String:
                host->Settings().SetString("driver_halvex", setting.key.c_str(), setting.stringValue.c_str(), &error);
                break;
        }
    }
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
