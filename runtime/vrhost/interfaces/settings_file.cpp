#include "vrhost/interfaces/settings_file.h"

#include "client_link/atomic_file.h"

namespace vrhost {

bool SaveSettingsFile(const std::filesystem::path& file, const SettingsDocument& document, std::string& error) {
    return link::ReplaceFileContents(file, WriteSettingsJson(document), error);
}

}  // namespace vrhost
