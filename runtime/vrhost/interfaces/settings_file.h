// The user's settings file written back: after every change a client makes, as the
// runtime does, so what a settings program saved is what a driver reads next time.
#pragma once

#include "vrhost/host/json_io.h"

#include <filesystem>
#include <string>

namespace vrhost {

// Replaces the file atomically. False with a one-line reason when it cannot.
bool SaveSettingsFile(const std::filesystem::path& file, const SettingsDocument& document, std::string& error);

}  // namespace vrhost
