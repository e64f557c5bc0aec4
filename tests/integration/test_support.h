// Shared helpers of the integration tests: where the built driver folder is, and a
// host with settings applied the way a user's steamvr.vrsettings would.
#pragma once

#include "platform/environment.h"
#include "vrhost/host/host.h"
#include "vrhost/interfaces/settings_store.h"

#include <openvr_driver.h>

#include <algorithm>
#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace halvex::test {

// build/<preset>/halvex, found next to the test program's bin/ folder.
std::string DriverFolder();

using halvex::platform::SetEnvironment;

// Runs the host's frame loop until `done` holds or `seconds` pass.
bool RunUntil(vrhost::cHost& host, const std::function<bool()>& done, double seconds);

struct sSetting {
    std::string key;
    enum { Int, Bool, String } type;
    int32_t intValue = 0;
    bool boolValue = false;
    std::string stringValue;
};
inline sSetting IntSetting(const std::string& key, int32_t value) { return {key, sSetting::Int, value, false, {}}; }
inline sSetting BoolSetting(const std::string& key, bool value) { return {key, sSetting::Bool, 0, value, {}}; }
inline sSetting StringSetting(const std::string& key, const std::string& value) {
    return {key, sSetting::String, 0, false, value};
}

// A host with the driver folder loaded and a settings file written as a user's
// would be: the "driver_halvex" settings and "TrackingOverrides" (path -> path).
std::unique_ptr<vrhost::cHost> MakeHost(const std::vector<sSetting>& settings, vrhost::sHostOptions options = {},
                                        const std::vector<std::pair<std::string, std::string>>& overrides = {});

inline bool HasLine(const std::vector<std::string>& lines, const std::string& text) {
    return std::find(lines.begin(), lines.end(), text) != lines.end();
}
inline size_t CountLinesContaining(const std::vector<std::string>& lines, const std::string& text) {
    return static_cast<size_t>(
        std::count_if(lines.begin(), lines.end(), [&](const std::string& l) { return l.find(text) != std::string::npos; }));
}
std::string PropertyString(const vrhost::cHost& host, vr::TrackedDeviceIndex_t index, vr::ETrackedDeviceProperty prop);

}  // namespace halvex::test
