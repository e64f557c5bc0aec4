// IVRSettings_003 over the runtime's settings file itself, for a utility when no
// runtime runs: the same file, format and rules as vrhost's, each change written at
// once (atomically). Kept apart from the client header: it is built on the driver
// side's declaration of the same interface.
#pragma once

#include <filesystem>
#include <memory>
#include <string>

namespace openvr_api {

class cIFileSettings {
public:
    virtual ~cIFileSettings() = default;
    // The IVRSettings_003 object, as VR_GetGenericInterface hands it out.
    virtual void* Interface() = 0;
};

// A missing file is an empty one (created by the first change). Null with a reason
// when the file cannot be read or is not a settings file.
std::unique_ptr<cIFileSettings> OpenFileSettings(const std::filesystem::path& file, std::string& error);

}  // namespace openvr_api
