// vrhost's settings file, and the driver's reads of it: every key the driver asks
// for, of every type, into buffers large and small.
#include "fuzz_target.h"
#include "vrhost/host/json_io.h"
#include "vrhost/interfaces/settings_store.h"

#include <cstring>
#include <string>

namespace {

const char* const kKeys[] = {"tessalyRigidBodyIdHead", "tessalyRigidBodyIdControllerA", "tessalyRigidBodyIdControllerB",
                             "trackingType", "tessalyServerAddress", "tessalyLocalAddress", "tessalyUseMulticast",
                             "recordRawData", "debugLevel", "/devices/halvex/halvex-controller-a"};
const char* const kSections[] = {"driver_halvex", "TrackingOverrides", "steamvr"};

int FuzzVrhostSettings(const uint8_t* data, size_t size) {
    vrhost::SettingsDocument document;
    std::string error;
    if (!vrhost::ParseSettingsJson(std::string(reinterpret_cast<const char*>(data), size), document, error)) {
        if (error.empty()) halvex::fuzz::Fail("vrhost_settings", "a refused file without a reason");
        return 0;
    }
    vrhost::cSettingsStore store;
    store.SetUserSettings(document);
    for (const char* section : kSections) {
        for (const char* key : kKeys) {
            vr::EVRSettingsError e = vr::VRSettingsError_None;
            store.GetBool(section, key, &e);
            store.GetInt32(section, key, &e);
            store.GetFloat(section, key, &e);
            for (uint32_t capacity : {1u, 16u, 4096u}) {
                char buffer[4096];
                std::memset(buffer, 'x', sizeof(buffer));
                store.GetString(section, key, buffer, capacity, &e);
                if (std::memchr(buffer, '\0', capacity) == nullptr)
                    halvex::fuzz::Fail("vrhost_settings", "GetString left the buffer unterminated");
            }
        }
    }
    return 0;
}

}  // namespace

HALVEX_FUZZ_TARGET(vrhost_settings, FuzzVrhostSettings);
