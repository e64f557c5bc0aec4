#include "vrhost/host/driver_context.h"

namespace vrhost {

void cDriverContext::Provide(const std::string& version, void* object) { mInterfaces[version] = object; }

void cDriverContext::Withhold(const std::string& version) { mWithheld.insert(version); }

void* cDriverContext::GetGenericInterface(const char* pchInterfaceVersion, vr::EVRInitError* peError) {
    if (pchInterfaceVersion && !mWithheld.count(pchInterfaceVersion)) {
        const auto found = mInterfaces.find(pchInterfaceVersion);
        if (found != mInterfaces.end()) {
            if (peError) *peError = vr::VRInitError_None;
            return found->second;
        }
    }
    if (peError) *peError = vr::VRInitError_Init_InterfaceNotFound;
    return nullptr;
}

vr::DriverHandle_t cDriverContext::GetDriverHandle() { return mDriverHandle; }

}  // namespace vrhost
