// IVRDriverContext: hands the driver each host interface by its version string.
// Interfaces can be withheld to see how a driver copes with an older runtime.
#pragma once

#include <openvr_driver.h>

#include <map>
#include <set>
#include <string>

namespace vrhost {

class cDriverContext final : public vr::IVRDriverContext {
public:
    // Registration happens before the driver is loaded; afterwards the maps are only read.
    void Provide(const std::string& version, void* object);
    void Withhold(const std::string& version);
    void SetDriverHandle(vr::DriverHandle_t handle) { mDriverHandle = handle; }

    void* GetGenericInterface(const char* pchInterfaceVersion, vr::EVRInitError* peError) override;
    vr::DriverHandle_t GetDriverHandle() override;

private:
    std::map<std::string, void*> mInterfaces;
    std::set<std::string> mWithheld;
    vr::DriverHandle_t mDriverHandle = vr::k_ulInvalidDriverHandle;
};

}  // namespace vrhost
