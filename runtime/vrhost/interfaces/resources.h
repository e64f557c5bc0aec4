// IVRResources_001: resolves "{driver}/path" names to files under the driver
// folder's resources/, and plain names to resources/<type directory>/.
#pragma once

#include <openvr_driver.h>

#include <filesystem>
#include <string>

namespace vrhost {

class cResources final : public vr::IVRResources {
public:
    void SetDriver(std::string name, std::filesystem::path folder);

    // The file a resource name stands for; empty when it does not resolve to a file.
    std::filesystem::path Resolve(const char* resourceName, const char* typeDirectory) const;

    uint32_t LoadSharedResource(const char* pchResourceName, char* pchBuffer, uint32_t unBufferLen) override;
    uint32_t GetResourceFullPath(const char* pchResourceName, const char* pchResourceTypeDirectory,
                                 char* pchPathBuffer, uint32_t unBufferLen) override;

private:
    // Written before the driver is loaded, read-only afterwards.
    std::string mName;
    std::filesystem::path mFolder;
};

}  // namespace vrhost
