#include "vrhost/interfaces/resources.h"

#include "vrhost/host/driver_location.h"

#include <algorithm>
#include <cstring>

namespace vrhost {

namespace fs = std::filesystem;

void cResources::SetDriver(std::string name, fs::path folder) {
    mName = std::move(name);
    mFolder = std::move(folder);
}

fs::path cResources::Resolve(const char* resourceName, const char* typeDirectory) const {
    if (!resourceName || !*resourceName || mFolder.empty()) return {};
    const std::string name = resourceName;
    const std::string prefix = "{" + mName + "}/";
    fs::path file;
    if (name.rfind(prefix, 0) == 0) {
        file = mFolder / "resources" / fs::u8path(name.substr(prefix.size()));
    } else if (name[0] == '{') {
        return {};  // another driver's resources: not installed here
    } else {
        file = mFolder / "resources";
        if (typeDirectory && *typeDirectory) file /= fs::u8path(typeDirectory);
        file /= fs::u8path(name);
    }
    // Names may not climb out of the driver folder.
    const fs::path normal = file.lexically_normal();
    const fs::path root = (mFolder / "resources").lexically_normal();
    const auto mismatch = std::mismatch(root.begin(), root.end(), normal.begin(), normal.end());
    if (mismatch.first != root.end()) return {};
    std::error_code ec;
    return fs::is_regular_file(normal, ec) ? normal : fs::path();
}

uint32_t cResources::LoadSharedResource(const char* pchResourceName, char* pchBuffer, uint32_t unBufferLen) {
    const fs::path file = Resolve(pchResourceName, nullptr);
    std::string contents;
    if (file.empty() || !ReadWholeFile(file, contents)) return 0;
    const uint32_t size = static_cast<uint32_t>(contents.size());
    if (pchBuffer && unBufferLen >= size) std::memcpy(pchBuffer, contents.data(), size);
    return size;
}

uint32_t cResources::GetResourceFullPath(const char* pchResourceName, const char* pchResourceTypeDirectory,
                                         char* pchPathBuffer, uint32_t unBufferLen) {
    const fs::path file = Resolve(pchResourceName, pchResourceTypeDirectory);
    if (pchPathBuffer && unBufferLen > 0) pchPathBuffer[0] = '\0';
    if (file.empty()) return 0;
    const std::string text = fs::absolute(file).u8string();
    const uint32_t needed = static_cast<uint32_t>(text.size() + 1);
    if (pchPathBuffer && unBufferLen >= needed) std::memcpy(pchPathBuffer, text.c_str(), needed);
    return needed;
}

}  // namespace vrhost
