// Answers one client request: settings through the runtime's store (the rules a
// driver gets), written back to the settings file after each change, and device
// queries through the device view. Never throws; what it cannot answer it refuses.
#pragma once

#include "client_link/client_messages.h"
#include "vrhost/clients/client_device_view.h"

#include <filesystem>

namespace vrhost {

class cSettingsStore;

class cClientRequests {
public:
    // `settingsFile` empty: changes stay in memory.
    cClientRequests(cSettingsStore& settings, cIClientDeviceView& devices, std::filesystem::path settingsFile);

    // `greeted`: whether this client has said hello; a request before that is refused.
    link::sClientReply Answer(const link::sClientRequest& request, bool greeted);

private:
    int32_t Persist(int32_t error);

    cSettingsStore& mSettings;
    cIClientDeviceView& mDevices;
    std::filesystem::path mSettingsFile;
};

}  // namespace vrhost
